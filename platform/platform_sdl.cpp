// SDL backend: the window, the clock, the event queue and the first game pad. The only file
// that calls SDL's video, timer, event and joystick functions.
#include <SDL.h>

#include <cstdlib>
#include <cstring>

#include "platform/demo.h"
#include "platform/platform.h"

namespace {

SDL_Surface* screen = nullptr;
SDL_Event event;
SDL_Joystick* pad = nullptr;

uint32_t SdlTicks() { return SDL_GetTicks(); }

// The pacing wait asks the clock again after each call, so sleeping short of the deadline and
// leaving the wait to spin the rest keeps a core from running flat out without making a frame
// late. The clock counts whole milliseconds: sleeping one less than are left wakes within the
// last millisecond before `until`.
void SdlIdle(uint32_t until) {
  const int32_t left = static_cast<int32_t>(until - SDL_GetTicks());
  if (left > 1) SDL_Delay(static_cast<Uint32>(left - 1));
}

uint32_t VirtualClockTicks() { return VirtualTicks(); }

void VirtualClockIdle(uint32_t until) {
  if (static_cast<int32_t>(until - VirtualTicks()) > 0) SetVirtualTicks(until);
}

bool IsRgb565(const SDL_PixelFormat* f) {
  return f->BitsPerPixel == 16 && f->Rmask == 0xF800 && f->Gmask == 0x07E0 && f->Bmask == 0x001F;
}

void CopyConverted(const uint16_t* frame) {
  const SDL_PixelFormat* f = screen->format;
  auto* base = static_cast<uint8_t*>(screen->pixels);
  for (int y = 0; y < kHeight && y < screen->h; ++y) {
    uint8_t* row = base + y * screen->pitch;
    for (int x = 0; x < kWidth && x < screen->w; ++x) {
      uint16_t p = frame[y * kWidth + x];
      Uint8 r = static_cast<Uint8>(((p >> 11) << 3) | (p >> 13));
      Uint8 g = static_cast<Uint8>((((p >> 5) & 63) << 2) | ((p >> 9) & 3));
      Uint8 b = static_cast<Uint8>(((p & 31) << 3) | ((p >> 2) & 7));
      Uint32 c = SDL_MapRGB(screen->format, r, g, b);
      uint8_t* dst = row + x * f->BytesPerPixel;
      std::memcpy(dst, &c, f->BytesPerPixel);  // little-endian targets
    }
  }
}

void SdlPresent(const uint16_t* frame) {
  if (!screen) return;
  if (SDL_LockSurface(screen) < 0) return;
  if (IsRgb565(screen->format) && screen->w == kWidth && screen->h == kHeight) {
    auto* base = static_cast<uint8_t*>(screen->pixels);
    for (int y = 0; y < kHeight; ++y)
      std::memcpy(base + y * screen->pitch, frame + y * kWidth, kWidth * 2);
  } else {
    CopyConverted(frame);
  }
  SDL_UnlockSurface(screen);
  SDL_Flip(screen);
}

uint32_t KeyRequest(SDLKey key) {
  switch (key) {
    case SDLK_ESCAPE: return kRequestQuit;
    case SDLK_SPACE: return kRequestPause;
    case SDLK_LEFT: return kRequestBack;
    case SDLK_RIGHT: return kRequestForward;
    case SDLK_PAGEUP: return kRequestPreviousPart;
    case SDLK_PAGEDOWN: return kRequestNextPart;
    case SDLK_HOME: return kRequestRestart;
    case SDLK_f: return kRequestToggleFullscreen;
    default: return 0;
  }
}

uint32_t SdlPoll() {
  uint32_t r = 0;
  while (SDL_PollEvent(&event)) {
    if (event.type == SDL_KEYDOWN) r |= KeyRequest(event.key.keysym.sym);
    if (event.type == SDL_QUIT) r |= kRequestQuit;  // the window's close button
    // A handheld has no Escape key. Pads number their buttons differently, so any button ends
    // the demo; sticks, hats and balls do nothing.
    if (event.type == SDL_JOYBUTTONDOWN) r |= kRequestQuit;
  }
  return r;
}

// Without a display SDL falls back to a window nobody can see, and the demo would play to no
// one; that fallback counts as no display unless a video driver was chosen on purpose.
bool FellBackToNoDisplay() {
  const char* chosen = getenv("SDL_VIDEODRIVER");
  if (chosen && *chosen) return false;
  char name[32] = "";
  if (!SDL_VideoDriverName(name, sizeof name)) return false;
  return std::strcmp(name, "offscreen") == 0 || std::strcmp(name, "dummy") == 0;
}

// The first pad, when there is one. A pad is optional: when the joystick subsystem cannot
// start, the demo runs as it would without one.
void OpenFirstPad() {
  if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) < 0 || SDL_NumJoysticks() < 1) return;
  pad = SDL_JoystickOpen(0);
  SDL_JoystickEventState(SDL_ENABLE);
}

}  // namespace

bool OpenSdlPlatform(uint32_t flags) {
  // A 320 x 240 window is a postage stamp on today's screens: unless the user chose
  // otherwise, show it three times larger with crisp pixels.
  setenv("SDL12COMPAT_WINDOW_SCALING", "3", 0);
  setenv("SDL12COMPAT_SCALE_METHOD", "nearest", 0);
  // Sound is optional (without an audio device the demo runs silently), so a machine that
  // has no audio must not keep the video from starting.
  if (SDL_Init(SDL_INIT_AUDIO | SDL_INIT_VIDEO) < 0 && SDL_Init(SDL_INIT_VIDEO) < 0) return false;
  if (FellBackToNoDisplay()) {
    SDL_SetError("no display to show the demo on");
    return false;
  }
  screen = SDL_SetVideoMode(kWidth, kHeight, 16, flags);
  if (!screen) return false;
  SDL_WM_SetCaption("Glasswhirligo by Morwick", nullptr);
  SDL_ShowCursor(0);
  OpenFirstPad();
  const char* virt = getenv("GLASSWHIRLIGO_VIRTUAL_CLOCK");
  bool virtual_clock = virt && *virt && std::strcmp(virt, "0") != 0;
  if (virtual_clock)
    platform = Platform{VirtualClockTicks, VirtualClockIdle, SdlPresent, SdlPoll};
  else
    platform = Platform{SdlTicks, SdlIdle, SdlPresent, SdlPoll};
  return true;
}

void CloseSdlPlatform() {
  if (pad) SDL_JoystickClose(pad);
  pad = nullptr;
  SDL_Quit();
  screen = nullptr;
}

const char* SdlError() { return SDL_GetError(); }
