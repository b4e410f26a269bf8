// The seam between the demo and the machine: a clock, a place to show a finished 320 x 240
// RGB565 frame, and the event queue. The SDL backend drives a real window; the headless
// backend drives tests and tools on a virtual clock.
#pragma once
#include <cstdint>

// What a person asked for during one drain of the event queue: a set of these bits. The show
// decides what each means; a backend only maps its keys, buttons and clicks onto them.
enum Request : uint32_t {
  kRequestQuit = 1u << 0,              // Escape, the right mouse button, close, any pad button
  kRequestPause = 1u << 1,             // Space: pause or resume
  kRequestBack = 1u << 2,              // Left: 10 seconds back
  kRequestForward = 1u << 3,           // Right: 10 seconds forward
  kRequestPreviousPart = 1u << 4,      // Page Up
  kRequestNextPart = 1u << 5,          // Page Down
  kRequestRestart = 1u << 6,           // Home: from the loading screen again
  kRequestToggleFullscreen = 1u << 7,  // F
  kRequestSeek = 1u << 8,              // the page's bar: to the show time in requested_seek_ms
};

// With kRequestSeek: the show time asked for, in milliseconds (the latest, when several came in
// one drain of the event queue).
extern uint32_t requested_seek_ms;

struct Platform {
  uint32_t (*ticks)();                      // milliseconds, wrapping
  void (*idle)(uint32_t until);             // called while a pacing wait spins
  void (*present)(const uint16_t* frame);   // shows 320 x 240 RGB565 pixels
  uint32_t (*poll)();                       // drains the event queue; a set of Request bits
  uint32_t (*wait)();                       // sleeps until an event comes, then drains as poll
  void (*toggle_fullscreen)();              // between the window and the full screen
};

extern Platform platform;

// Headless backend: time stands still until a pacing wait moves it, as on an ideal machine
// where drawing costs nothing. A tool may watch every presented frame.
void UseHeadlessPlatform();
void SetVirtualTicks(uint32_t ms);
uint32_t VirtualTicks();
using FrameHook = void (*)(const uint16_t* frame, uint32_t ticks, void* user);
void SetFrameHook(FrameHook hook, void* user);
void QueueHeadlessRequest(uint32_t requests);  // the next poll reports these too
void QueueHeadlessSeek(uint32_t show_ms);      // kRequestSeek to show time show_ms
// Nothing sleeps headless: a wait calls this hook (which may queue requests or move the clock),
// then returns at once with whatever is queued.
using WaitHook = void (*)(void* user);
void SetWaitHook(WaitHook hook, void* user);
bool HeadlessFullscreen();  // toggled by the headless toggle_fullscreen
inline void QueueHeadlessQuit() { QueueHeadlessRequest(kRequestQuit); }

// Web backend (platform/platform_web.cpp, built by web/ only): the page's canvas, the browser's
// monotonic clock, keys from the page; pacing waits and presents give the browser its turns.
void OpenWebPlatform();
void ShowOnPage(const uint16_t* frame);  // puts a frame on the canvas without yielding
struct WebFrameTimes {
  double worst_ms;  // the longest a frame kept the browser busy
  double mean_ms;
  uint32_t frames;
};
WebFrameTimes WebFrameTimesSoFar();
void ResetWebFrameTimes();  // from now on (the loading screen's work is not a frame)

// SDL backend (platform/platform_sdl.cpp): the only code that calls SDL's video and events.
bool OpenSdlPlatform(uint32_t flags);  // false when SDL or the video mode cannot start
void CloseSdlPlatform();  // SDL_Quit, when SDL was started
const char* SdlError();

// Windows backend (platform/platform_windows.cpp, built by windows/ only): a Win32 window of
// 960 x 720 with crisp pixels (the whole screen at 4:3 with flags 0x80000000 and after F), on
// the multimedia timer's clock.
bool OpenWindowsPlatform(uint32_t flags);  // false when the window cannot be made
void CloseWindowsPlatform();
const char* WindowsError();
// A start-up fault's line: on stderr, and in a message box unless GLASSWHIRLIGO_ERRORS_TO_STDERR
// is set (to anything but 0), since a program started by a double-click has no console.
void TellWindowsUser(const char* line);
