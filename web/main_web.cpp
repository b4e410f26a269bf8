// The web edition's program: the same start-up, frames and player as the native one, on the
// page's canvas and clock. With "--seek MS" (the page's test mode) it seeks a fresh show on the
// virtual clock to that moment, leaves that frame on the canvas and stops, as
// glasswhirligo-capture --seek does.
#include <emscripten.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/demo.h"
#include "platform/platform.h"
#include "platform/sound.h"
#include "precalc/precalc.h"
#include "show/headless.h"
#include "show/loading.h"
#include "show/player.h"
#include "show/script.h"

EM_JS(void, ShowStarted, (), { Module.gw.showStarted(); });
EM_JS(void, PutTimeline, (const uint32_t* starts, int count, uint32_t end, uint32_t copies,
                          double copies_bytes), {
  Module.gw.timeline({ partStarts: Array.from(HEAPU32.subarray(starts >> 2, (starts >> 2) + count)),
    end: end, copies: copies, copiesBytes: copies_bytes });
});
EM_JS(void, ShowEnded, (double worst_frame_ms, double mean_frame_ms, uint32_t frames), {
  Module.gw.showEnded({ worstMs: worst_frame_ms, meanMs: mean_frame_ms, frames: frames });
});
EM_ASYNC_JS(void, WaitForReplay, (), { await Module.gw.replayRequested(); });
EM_JS(void, SeekDone, (int reached, double seek_ms), { Module.gw.seekDone(reached !== 0, seek_ms); });

namespace {

// A start-up fault (a bad font file) ends the program as on the desktop: its one line on stderr,
// which the page shows, and status 1.
void StopIfFault(const char* fault) {
  if (fault == nullptr) return;
  std::fprintf(stderr, "glasswhirligo: %s\n", fault);
  std::exit(1);
}

// The page's bar learns the parts' starts and the show's length once the spare-time replays
// have met its end (a few seconds into the first part).
void PutTimelineOnPage() {
  std::vector<uint32_t> starts = PartStarts();
  PutTimeline(starts.data(), static_cast<int>(starts.size()), ShowEnd(),
              static_cast<uint32_t>(SnapshotCount()), static_cast<double>(SnapshotBytes()));
}

void PlayShow() {
  OpenWebPlatform();
  StopIfFault(precalcs());
  SoundInit();
  PlaySong();
  partime = platform.ticks();
  StartPlayer();
  ShowStarted();
  ResetWebFrameTimes();
  bool timeline_on_page = false;
  do {
    Script();
    AnswerRequests();
    if (!timeline_on_page && TimelineWhole()) {
      PutTimelineOnPage();
      timeline_on_page = true;
    }
  } while (!quit);
  StopIfFault(RestartFault());
  SoundEnd();
  WebFrameTimes times = WebFrameTimesSoFar();
  ShowEnded(times.worst_ms, times.mean_ms, times.frames);
}

// The capture tool's seek, on the headless platform: the frame it leaves goes on the canvas.
void Seek(uint32_t ms) {
  double start = emscripten_get_now();
  bool reached = false;
  StopIfFault(SeekFreshShow(ms, &reached));
  double took = emscripten_get_now() - start;
  ShowOnPage(vram);
  SeekDone(reached, took);
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
