// Feeds arbitrary bytes to the "fonts16.bin" loader. An image that is accepted must make every
// character printable: the printers index glyphs and colour rows with no checks of their own.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "text/text.h"

namespace {
uint16_t page[320 * 240];
uint16_t colours[256];
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* fault = LoadFonts16(data, size);
  if (fault != nullptr) {
    if (std::strlen(fault) == 0) __builtin_trap();  // a refusal must say why
    return 0;
  }
  for (int k = 0; k < 256; ++k) PrintFont(16 * (k % 20), 16 * (k / 20), k, colours, page);
  PrintFont8(-8, 100, 255, page);
  return 0;
}
