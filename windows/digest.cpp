// The whole show built for Windows, played in a console on the virtual clock (under Wine in the
// checks): prints the digest over every presented frame (show/frame_digest.h)
// and the show times at which the parts begin, which Page Down seeks to; then plays it again
// without the digest and prints the speed as a multiple of real time.
#include <chrono>
#include <cstdio>

#include "platform/demo.h"
#include "platform/platform.h"
#include "show/frame_digest.h"
#include "show/headless.h"
#include "show/player.h"
#include "show/script.h"

namespace {

FrameDigest digest;

void Hook(const uint16_t* frame, uint32_t, void*) { digest.Add(frame); }

double MsSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace

int main() {
  SetFrameHook(Hook, nullptr);
  if (const char* fault = RunHeadlessDemo()) {
    std::fprintf(stderr, "glasswhirligo-digest: %s\n", fault);
    return 1;
  }
  SetFrameHook(nullptr, nullptr);
  std::printf("frame digest: %016llx\n", static_cast<unsigned long long>(digest.value()));

  if (StartHeadlessDemo() != nullptr) return 1;
  StartPlayer();
  BuildSnapshots();
  std::printf("part starts:");
  for (uint32_t t : PartStarts()) std::printf(" %u", t);
  std::printf("\n");

  auto t0 = std::chrono::steady_clock::now();
  if (StartHeadlessDemo() != nullptr) return 1;
  const double precalc_ms = MsSince(t0);
  auto t1 = std::chrono::steady_clock::now();
  const uint32_t clock_start = partime;
  do {
    Script();
  } while (!quit);
  const double run_ms = MsSince(t1);
  const double virtual_ms = VirtualTicks() - clock_start;
  std::printf("precalculation: %.1f ms\n", precalc_ms);
  std::printf("frames: %.1f s of demo in %.1f ms, %.0fx faster than real time\n",
              virtual_ms / 1000, run_ms, virtual_ms / run_ms);
  std::fflush(stdout);
  return 0;
}
