// Feeds arbitrary bytes to the 32-bit model loader as the contents of a model file.
// The loader shows five loading frames for every model it accepts; drawing them would slow the
// fuzzer a thousandfold, and they are the loading screen's business, which the end-to-end
// tests cover. So this program is linked with the loading-frame routine wrapped (see
// cmake/fuzz.cmake): the loader runs unchanged and the frames are only counted.
#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "tools/fuzz/fuzz_model_common.h"

namespace {
int loading_frames = 0;
}

// Stands in for Frondle() in this program only (-Wl,--wrap with its mangled name).
extern "C" void __wrap__Z7Frondlev() { ++loading_frames; }

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  UseHeadlessPlatform();
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
