// The player's seek, timed from the request to the new frame on the headless platform: the first
// seek before any copy of the state exists, then seeks to 10, 120 and 230 s from several places
// once the copies are built, and the memory the copies take. Prints figures; checks nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "platform/demo.h"
#include "platform/platform.h"
#include "show/headless.h"
#include "show/player.h"

namespace {

using Clock = std::chrono::steady_clock;
Clock::time_point presented;

void Stamp(const uint16_t*, uint32_t, void*) { presented = Clock::now(); }

// Milliseconds from the call to the frame's presentation.
double TimedSeek(int64_t t) {
  auto asked = Clock::now();
  SeekShow(t);
  return std::chrono::duration<double, std::milli>(presented - asked).count();
}

}  // namespace

int main() {
  SetFrameHook(Stamp, nullptr);
  if (StartHeadlessDemo() != nullptr) return 1;
  StartPlayer();
  std::printf("first seek to 230 s, no copies yet: %.1f ms\n", TimedSeek(230000));

  if (StartHeadlessDemo() != nullptr) return 1;
  StartPlayer();
  auto a = Clock::now();
  BuildSnapshots();
  double build_ms = std::chrono::duration<double, std::milli>(Clock::now() - a).count();
  std::printf("copies of the state: %zu, %.1f MB, built in %.1f ms of spare time\n",
              SnapshotCount(), SnapshotBytes() / 1048576.0, build_ms);

  std::printf("%-8s %8s %8s %8s   (ms from the request to the frame, from 7 places)\n", "seek to",
              "best", "median", "worst");
  for (int64_t target : {10000, 120000, 230000}) {
    std::vector<double> ms;
    for (int64_t from : {0, 30000, 75000, 115000, 160000, 200000, 236000}) {
      SeekShow(from);
      ms.push_back(TimedSeek(target));
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%5.0f s  %8.2f %8.2f %8.2f\n", target / 1000.0, ms.front(), ms[ms.size() / 2],
                ms.back());
  }
  // The longest replays: just before each copy, across the whole timeline.
  double worst = 0;
  int64_t worst_at = 0;
  for (int64_t t = 9999; t < 240000; t += 10000) {
    SeekShow(0);
    double ms = TimedSeek(t);
    if (ms > worst) worst = ms, worst_at = t;
  }
  std::printf("worst just before a copy: %.2f ms (seek to %.3f s)\n", worst, worst_at / 1000.0);
  SetFrameHook(nullptr, nullptr);
  return 0;
}
