// Preloaded into the real program by the fault tests: counts the frames it shows, so a test
// can tell how far a run went without watching a window, and can press Escape at a chosen
// frame as a user would. The count is written at exit to the file named by
// GW_FRAME_COUNT_FILE; GW_ESCAPE_AT_FRAME=n queues an Escape key press when frame n is shown.
#include <SDL.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace {

unsigned long shown = 0;

struct WriteAtExit {
  ~WriteAtExit() {
    const char* path = std::getenv("GW_FRAME_COUNT_FILE");
    if (path == nullptr) return;
    if (std::FILE* f = std::fopen(path, "w")) {
      std::fprintf(f, "%lu\n", shown);
      std::fclose(f);
    }
  }
} write_at_exit;

void PressEscape() {
  SDL_Event e{};
  e.type = SDL_KEYDOWN;
  e.key.state = SDL_PRESSED;
  e.key.keysym.sym = SDLK_ESCAPE;
  SDL_PushEvent(&e);
}

}  // namespace

extern "C" int SDL_Flip(SDL_Surface* screen) {
  using FlipFn = int (*)(SDL_Surface*);
  static FlipFn next = reinterpret_cast<FlipFn>(dlsym(RTLD_NEXT, "SDL_Flip"));
  static const char* escape_at = std::getenv("GW_ESCAPE_AT_FRAME");
  ++shown;
  if (escape_at != nullptr && shown == std::strtoul(escape_at, nullptr, 10)) PressEscape();
  return next != nullptr ? next(screen) : -1;
}
