// The web edition's program: the same start-up and frames as the native one, on the page's
// canvas and clock. With "--seek MS" (the page's test mode) it plays the show on the virtual
// clock up to that moment, leaves that frame on the canvas and stops, as
// glasswhirligo-capture --seek does.
#include <emscripten.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/demo.h"
#include "platform/platform.h"
#include "platform/sound.h"
#include "precalc/precalc.h"
#include "show/headless.h"
#include "show/script.h"

EM_JS(void, PartClockStarted, (uint32_t ticks), { Module.gw.partClockStarted(ticks); });
EM_JS(void, ShowEnded, (double worst_frame_ms, double mean_frame_ms, uint32_t frames), {
  Module.gw.showEnded({ worstMs: worst_frame_ms, meanMs: mean_frame_ms, frames: frames });
});
EM_ASYNC_JS(void, WaitForReplay, (), { await Module.gw.replayRequested(); });
EM_JS(void, SeekDone, (int reached, double worst_frame_ms), {
  Module.gw.seekDone(reached !== 0, worst_frame_ms);
});

namespace {

// A start-up fault (a bad font file) ends the program as on the desktop: its one line on stderr,
// which the page shows, and status 1.
void StopIfFault(const char* fault) {
  if (fault == nullptr) return;
  std::fprintf(stderr, "glasswhirligo: %s\n", fault);
  std::exit(1);
}

void PlayShow() {
  OpenWebPlatform();
  StopIfFault(precalcs());
  SoundInit();
  PlaySong();
  partime = platform.ticks();
  PartClockStarted(partime);
  ResetWebFrameTimes();
  do {
    Script();
  } while (!quit);
  SoundEnd();
  WebFrameTimes times = WebFrameTimesSoFar();
  ShowEnded(times.worst_ms, times.mean_ms, times.frames);
}

// The frame on screen at the target: the last one presented at or before it.
struct SeekState {
  uint32_t target = 0;
  bool clock_started = false;
  bool passed = false;
  uint16_t frame[kPixels] = {};

  static void Hook(const uint16_t* f, uint32_t ticks, void* user) {
    auto* self = static_cast<SeekState*>(user);
    if (self->clock_started && ticks > self->target) {
      self->passed = true;
      return;
    }
    std::memcpy(self->frame, f, sizeof self->frame);
  }
};

void Seek(uint32_t ms) {
  static SeekState state;
  SetFrameHook(SeekState::Hook, &state);
  StopIfFault(StartHeadlessDemo());
  state.target = partime + ms;
  state.clock_started = true;
  double worst = 0;
  while (!quit && !state.passed) {
    double start = emscripten_get_now();
    Script();
    worst = std::max(worst, emscripten_get_now() - start);
  }
  SetFrameHook(nullptr, nullptr);
  ShowOnPage(state.frame);
  SeekDone(state.passed || state.target < VirtualTicks(), worst);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--seek") == 0) {
    Seek(static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)));
    return 0;
  }
  for (;;) {
    PlayShow();
    WaitForReplay();
    ResetDemo();
  }
}
