// SDL backend: the window, the clock, the event queue and the first game pad. The only file
// that calls SDL's video, timer, event and joystick functions.
#include <SDL.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/demo.h"
#include "platform/platform.h"

namespace {

SDL_Surface* screen = nullptr;
SDL_Event event;
SDL_Joystick* pad = nullptr;

uint32_t SdlTicks() { return SDL_GetTicks(); }

// The pacing wait calls idle until the clock reaches `until`. Sleeping short of that moment
// and spinning only for the rest keeps a core from running flat out without making a frame
// late. SDL's clock counts whole milliseconds; the spin notes on a finer clock when SDL's
// millisecond turned, so the next wait can sleep until just before its own turn.
using FineClock = std::chrono::steady_clock;
constexpr auto kSpinMargin = std::chrono::microseconds(300);  // above the usual oversleep
constexpr uint32_t kTickPhaseLifetime = 1000;  // ms; both clocks are slewed, and may drift apart
uint32_t seen_tick = 0;                        // a reading of SDL's clock...
FineClock::time_point seen_tick_start;         // ...and when it began on the fine clock
bool tick_phase_known = false;

// Spins until SDL's clock turns. The turn counts as seen only when it fell between two readings
// close together, not across a time the process was not running.
void SpinToNextTick() {
  const uint32_t from = SDL_GetTicks();
  FineClock::time_point before = FineClock::now();
  for (;;) {
    const uint32_t tick = SDL_GetTicks();
    const FineClock::time_point at = FineClock::now();
    if (tick != from) {
      if (at - before < std::chrono::microseconds(20)) {
        seen_tick = tick;
        seen_tick_start = at;
        tick_phase_known = true;
      }
      return;
    }
    before = at;
  }
}

void SdlIdle(uint32_t until) {
  const int32_t left = static_cast<int32_t>(until - SDL_GetTicks());
  if (left <= 0) return;
  const uint32_t since_seen = until - seen_tick;  // wraps to a huge value when `until` is older
  if (tick_phase_known && since_seen <= kTickPhaseLifetime)
    std::this_thread::sleep_until(seen_tick_start + std::chrono::milliseconds(since_seen) -
                                  kSpinMargin);
  else if (left > 1)
    SDL_Delay(static_cast<Uint32>(left - 1));  // wakes within the last millisecond
  if (static_cast<int32_t>(until - SDL_GetTicks()) > 0) SpinToNextTick();
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
    // Party rules: Escape or the right mouse button ends a demo at once.
    if (event.type == SDL_MOUSEBUTTONDOWN && event.button.button == SDL_BUTTON_RIGHT)
      r |= kRequestQuit;
    // A handheld has no Escape key. Pads number their buttons differently, so any button ends
    // the demo; sticks, hats and balls do nothing.
    if (event.type == SDL_JOYBUTTONDOWN) r |= kRequestQuit;
  }
  return r;
}

// A paused show sleeps here: SDL_WaitEvent with no event to fill leaves the event queued for
// the poll that follows.
uint32_t SdlWait() {
  SDL_WaitEvent(nullptr);
  return SdlPoll();
}

// The picture on the surface is kept; a new mode (when the toggle is not supported) starts
// blank, so the last frame is shown again either way.
void SdlToggleFullscreen() {
  if (!screen) return;
  if (!SDL_WM_ToggleFullScreen(screen)) {
    std::vector<uint8_t> kept(static_cast<size_t>(screen->pitch) * screen->h);
    if (SDL_LockSurface(screen) == 0) {
      std::memcpy(kept.data(), screen->pixels, kept.size());
      SDL_UnlockSurface(screen);
    }
    int pitch = screen->pitch, h = screen->h;
    SDL_Surface* next = SDL_SetVideoMode(kWidth, kHeight, 16, screen->flags ^ SDL_FULLSCREEN);
    if (!next) return;  // the old mode stays
    screen = next;
    if (screen->pitch == pitch && screen->h == h && SDL_LockSurface(screen) == 0) {
      std::memcpy(screen->pixels, kept.data(), kept.size());
      SDL_UnlockSurface(screen);
    }
  }
  SDL_Flip(screen);
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
  tick_phase_known = false;  // SDL's clock starts again with SDL
  const char* virt = getenv("GLASSWHIRLIGO_VIRTUAL_CLOCK");
  bool virtual_clock = virt && *virt && std::strcmp(virt, "0") != 0;
  if (virtual_clock)
    platform = Platform{VirtualClockTicks, VirtualClockIdle, SdlPresent, SdlPoll, SdlWait,
                        SdlToggleFullscreen};
  else
    platform = Platform{SdlTicks, SdlIdle, SdlPresent, SdlPoll, SdlWait, SdlToggleFullscreen};
  return true;
}

void CloseSdlPlatform() {
  if (pad) SDL_JoystickClose(pad);
  pad = nullptr;
  if (SDL_WasInit(SDL_INIT_EVERYTHING)) SDL_Quit();
  screen = nullptr;
}

const char* SdlError() { return SDL_GetError(); }
