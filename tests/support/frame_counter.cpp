// Preloaded into the real program by the fault tests: counts the frames it shows, so a test
// can tell how far a run went without watching a window, and can press Escape at a chosen
// frame as a user would. The count is written at exit to the file named by
// GW_FRAME_COUNT_FILE; GW_ESCAPE_AT_FRAME=n queues an Escape key press when frame n is shown,
// GW_PAD_AT_FRAME=n a pad's stick and hat motion and then a press of its button 9.
// GW_HOME_AT_FRAME=n presses Home when frame n is shown, after cutting the last byte off the file
// named by GW_SPOIL_AT_HOME, if set: a data file gone bad while the demo ran.
// GW_VIDEO_MODE_FILE names a file that receives the flags of the video mode the program asks
// for and its window caption. GW_WAY_OUT_FILE names a file that receives one line per step of
// the way out, in order: "SDL_Quit", "chdir PATH", "execl PATH". GW_FRAME_DIGEST_FILE names a
// file that receives, at exit, the digest over every frame shown (show/frame_digest.h's, over
// the 320 x 240 pixels of each frame at its flip), so that a copy of the program anywhere can be
// held to the pinned digest.
#include <SDL.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "show/frame_digest.h"

namespace {

unsigned long shown = 0;
FrameDigest digest;

void WriteNumber(const char* variable, const char* format, unsigned long long value) {
  const char* path = std::getenv(variable);
  if (path == nullptr) return;
  if (std::FILE* f = std::fopen(path, "w")) {
    std::fprintf(f, format, value);
    std::fclose(f);
  }
}

struct WriteAtExit {
  ~WriteAtExit() {
    WriteNumber("GW_FRAME_COUNT_FILE", "%llu\n", shown);
    WriteNumber("GW_FRAME_DIGEST_FILE", "%016llx\n", digest.value());
  }
} write_at_exit;

// Rows of 320 pixels, whatever the surface's pitch.
void AddToDigest(const SDL_Surface* screen) {
  if (screen == nullptr || screen->pixels == nullptr || screen->w != 320 || screen->h != 240) return;
  for (int y = 0; y < 240; ++y) {
    const auto* row = static_cast<const uint8_t*>(screen->pixels) + size_t(y) * screen->pitch;
    digest.AddBytes(row, 640);
  }
}

void PressEscape() {
  SDL_Event e{};
  e.type = SDL_KEYDOWN;
  e.key.state = SDL_PRESSED;
  e.key.keysym.sym = SDLK_ESCAPE;
  SDL_PushEvent(&e);
}

// Pads report their sticks all the time; only the button may end the demo.
void PressPadButton() {
  SDL_Event e{};
  e.type = SDL_JOYAXISMOTION;
  e.jaxis.value = -32768;
  SDL_PushEvent(&e);
  e = SDL_Event{};
  e.type = SDL_JOYHATMOTION;
  e.jhat.value = SDL_HAT_DOWN;
  SDL_PushEvent(&e);
  e = SDL_Event{};
  e.type = SDL_JOYBUTTONDOWN;
  e.jbutton.button = 9;
  e.jbutton.state = SDL_PRESSED;
  SDL_PushEvent(&e);
}

void PressHome() {
  if (const char* spoilt = std::getenv("GW_SPOIL_AT_HOME")) {
    struct stat st {};
    if (stat(spoilt, &st) == 0 && st.st_size > 0) truncate(spoilt, st.st_size - 1);
  }
  SDL_Event e{};
  e.type = SDL_KEYDOWN;
  e.key.state = SDL_PRESSED;
  e.key.keysym.sym = SDLK_HOME;
  SDL_PushEvent(&e);
}

bool IsFrame(const char* wanted) {
  return wanted != nullptr && shown == std::strtoul(wanted, nullptr, 10);
}

void NoteWayOut(const char* step, const char* path) {
  const char* log = std::getenv("GW_WAY_OUT_FILE");
  if (log == nullptr) return;
  if (std::FILE* f = std::fopen(log, "a")) {
    std::fprintf(f, path ? "%s %s\n" : "%s\n", step, path);
    std::fclose(f);
  }
}

}  // namespace

extern "C" void SDL_Quit() {
  using QuitFn = void (*)();
  static QuitFn next = reinterpret_cast<QuitFn>(dlsym(RTLD_NEXT, "SDL_Quit"));
  NoteWayOut("SDL_Quit", nullptr);
  if (next != nullptr) next();
}

extern "C" int chdir(const char* path) {
  using ChdirFn = int (*)(const char*);
  static ChdirFn next = reinterpret_cast<ChdirFn>(dlsym(RTLD_NEXT, "chdir"));
  NoteWayOut("chdir", path);
  return next != nullptr ? next(path) : -1;
}

// The arguments are passed on to execv, so the launcher starts as it would without this library.
extern "C" int execl(const char* path, const char* arg, ...) {
  NoteWayOut("execl", path);
  const char* argv[16] = {arg};
  va_list ap;
  va_start(ap, arg);
  for (int i = 1; i < 15 && argv[i - 1] != nullptr; ++i) argv[i] = va_arg(ap, const char*);
  va_end(ap);
  return execv(path, const_cast<char* const*>(argv));
}

extern "C" int SDL_Flip(SDL_Surface* screen) {
  using FlipFn = int (*)(SDL_Surface*);
  static FlipFn next = reinterpret_cast<FlipFn>(dlsym(RTLD_NEXT, "SDL_Flip"));
  static const char* escape_at = std::getenv("GW_ESCAPE_AT_FRAME");
  static const char* pad_at = std::getenv("GW_PAD_AT_FRAME");
  static const char* home_at = std::getenv("GW_HOME_AT_FRAME");
  ++shown;
  static const bool digesting = std::getenv("GW_FRAME_DIGEST_FILE") != nullptr;
  if (digesting) AddToDigest(screen);
  if (IsFrame(escape_at)) PressEscape();
  if (IsFrame(pad_at)) PressPadButton();
  if (IsFrame(home_at)) PressHome();
  return next != nullptr ? next(screen) : -1;
}

extern "C" SDL_Surface* SDL_SetVideoMode(int width, int height, int bpp, Uint32 flags) {
  using ModeFn = SDL_Surface* (*)(int, int, int, Uint32);
  static ModeFn next = reinterpret_cast<ModeFn>(dlsym(RTLD_NEXT, "SDL_SetVideoMode"));
  if (const char* path = std::getenv("GW_VIDEO_MODE_FILE")) {
    if (std::FILE* f = std::fopen(path, "w")) {
      std::fprintf(f, "%dx%dx%d flags=%#x\n", width, height, bpp, static_cast<unsigned>(flags));
      std::fclose(f);
    }
  }
  return next != nullptr ? next(width, height, bpp, flags) : nullptr;
}

extern "C" void SDL_WM_SetCaption(const char* title, const char* icon) {
  using CaptionFn = void (*)(const char*, const char*);
  static CaptionFn next = reinterpret_cast<CaptionFn>(dlsym(RTLD_NEXT, "SDL_WM_SetCaption"));
  if (const char* path = std::getenv("GW_VIDEO_MODE_FILE")) {
    if (std::FILE* f = std::fopen(path, "a")) {
      std::fprintf(f, "caption=%s\n", title ? title : "");
      std::fclose(f);
    }
  }
  if (next != nullptr) next(title, icon);
}
