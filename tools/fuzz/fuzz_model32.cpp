// Feeds arbitrary bytes to the 32-bit model loader as the contents of a model file. Its
// loading frames go to the headless platform, where they cost no waiting.
#include <cstddef>
#include <cstdint>

#include "tools/fuzz/fuzz_model_common.h"
#include "runtime/platform.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  UseHeadlessPlatform();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Scale and negation come from the caller, not the file: a small scale pushes converted
  // points to the limits of 32 bits, where the conversion has to saturate.
  const float scale = size % 2 ? 0.0009765625f : 1.0f;
  fuzz::LoadAndCheck([&](Object3d* obj) { return Load32bit3doData(data, size, obj, 1, scale); });
  return 0;
}
