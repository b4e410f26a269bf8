// The seam between the demo and the machine: a clock, a place to show a finished 320 x 240
// RGB565 frame, and the event queue. The SDL backend drives a real window; the headless
// backend drives tests and tools on a virtual clock.
#pragma once
#include <cstdint>

struct Platform {
  uint32_t (*ticks)();                      // milliseconds, wrapping
  void (*idle)(uint32_t until);             // called while a pacing wait spins
  void (*present)(const uint16_t* frame);   // shows 320 x 240 RGB565 pixels
  bool (*poll_quit)();                      // drains the event queue; true on Escape or close
};

extern Platform platform;

// Headless backend: time stands still until a pacing wait moves it, as on an ideal machine
// where drawing costs nothing. A tool may watch every presented frame.
void UseHeadlessPlatform();
void SetVirtualTicks(uint32_t ms);
uint32_t VirtualTicks();
using FrameHook = void (*)(const uint16_t* frame, uint32_t ticks, void* user);
void SetFrameHook(FrameHook hook, void* user);
void QueueHeadlessQuit();  // the next poll reports a quit request

// SDL backend (runtime/platform_sdl.cpp): the only code that calls SDL's video and events.
bool OpenSdlPlatform(uint32_t flags);  // false when SDL or the video mode cannot start
void CloseSdlPlatform();
const char* SdlError();
