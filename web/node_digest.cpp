// The whole show compiled to WebAssembly, played under node on the virtual clock: prints the
// digest over every presented frame (show/frame_digest.h), then plays it
// again without the digest and prints the speed as a multiple of real time.
#include <emscripten.h>

#include <cstdio>

#include "platform/demo.h"
#include "platform/platform.h"
#include "show/frame_digest.h"
#include "show/headless.h"
#include "show/script.h"

namespace {

FrameDigest digest;

void Hook(const uint16_t* frame, uint32_t, void*) { digest.Add(frame); }

}  // namespace

int main() {
  SetFrameHook(Hook, nullptr);
  if (const char* fault = RunHeadlessDemo()) {
    std::fprintf(stderr, "gw_node_digest: %s\n", fault);
    return 1;
  }
  std::printf("frame digest: %016llx\n", static_cast<unsigned long long>(digest.value()));
  // Timed again without the digest, which costs more than drawing, and reported as
  // glasswhirligo-capture --bench reports the native program.
  SetFrameHook(nullptr, nullptr);
  double t0 = emscripten_get_now();
  if (StartHeadlessDemo() != nullptr) return 1;
  double t1 = emscripten_get_now();
  uint32_t clock_start = partime;
  do {
    Script();
  } while (!quit);
  double run_ms = emscripten_get_now() - t1;
  double virtual_ms = VirtualTicks() - clock_start;
  std::printf("precalculation: %.1f ms\n", t1 - t0);
  std::printf("frames: %.1f s of demo in %.1f ms, %.0fx faster than real time\n",
              virtual_ms / 1000, run_ms, virtual_ms / run_ms);
  return 0;
}
