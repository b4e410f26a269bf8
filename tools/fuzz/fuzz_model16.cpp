// Feeds arbitrary bytes to the 16-bit model loader as its in-memory model data.
#include <cstddef>
#include <cstdint>

#include "tools/fuzz/fuzz_model_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LoadAndCheck([&](Object3d* obj) { return Load16bit3do(obj, data, size, 0); });
  return 0;
}
