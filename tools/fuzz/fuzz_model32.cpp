// Feeds arbitrary bytes to the 32-bit model loader as the contents of a model file.
// The loader asks for five loading frames for every model it accepts; here they are only
// counted (the start-up would draw them, a thousand times slower than the fuzzer's pace).
#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "precalc/precalc.h"
#include "tools/fuzz/fuzz_model_common.h"

namespace {
int loading_frames = 0;
void CountLoadingFrame() { ++loading_frames; }
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  UseHeadlessPlatform();
  loading_frame = CountLoadingFrame;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Scale and negation come from the caller, not the file: a small scale pushes converted
  // points to the limits of 32 bits, where the conversion has to saturate.
  const float scale = size % 2 ? 0.0009765625f : 1.0f;
  loading_frames = 0;
  bool accepted = false;
  fuzz::LoadAndCheck([&](Object3d* obj) {
    accepted = Load32bit3doData(data, size, obj, 1, scale);
    return accepted;
  });
  // After the points, the lines, the polygons, the face normals and the point normals.
  if (accepted && loading_frames != 5) __builtin_trap();
  return 0;
}
