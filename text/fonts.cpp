// The two fonts: the 8 x 8 one compiled in and expanded to a byte per pixel, and the 16 x 16
// one read from "fonts16.bin". Runs once at start-up; the checks here are what let the
// printers index the glyphs and colour rows without bounds tests per pixel.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data/assets.h"
#include "platform/data_files.h"
#include "text/text.h"

uint8_t fonts[3776];

namespace {

constexpr int kSmallGlyphs = 59;  // codes 32 to 90; the blank glyph of code 91 is not kept
constexpr int kMapSize = 256;
constexpr int kGlyphs16 = 86;
constexpr const char* kFonts16Name = "fonts16.bin";

void ExpandBitfonts() {
  for (int g = 0; g < kSmallGlyphs; ++g)
    for (int r = 0; r < 8; ++r)
      for (int c = 0; c < 8; ++c)
        fonts[64 * g + 8 * r + c] = (bitfonts[8 * g + r] >> (7 - c)) & 1 ? 255 : 0;
}

char fault[8448];  // room for the message naming both data folders

}  // namespace

uint8_t cc[256];
uint8_t fonts16[22016];

// Bytes past the 22,272 of the image are ignored, as a reader that takes only what it needs
// would; a shorter image or an out-of-range value is refused before anything is copied.
const char* LoadFonts16(const uint8_t* data, size_t size) {
  if (data == nullptr || size < kFonts16FileSize) {
    std::snprintf(fault, sizeof fault, "only %zu bytes, needs %zu", data ? size : 0, kFonts16FileSize);
    return fault;
  }
  for (int code = 0; code < kMapSize; ++code) {
    if (data[code] >= kGlyphs16) {
      std::snprintf(fault, sizeof fault, "map entry for code %d is %d, above %d", code, data[code],
                    kGlyphs16 - 1);
      return fault;
    }
  }
  const uint8_t* glyphs = data + kMapSize;
  for (size_t i = 0; i < sizeof fonts16; ++i) {
    if (glyphs[i] > 15) {
      std::snprintf(fault, sizeof fault, "glyph %zu row %zu column %zu holds %d, above 15", i / 256,
                    i / 16 % 16, i % 16, glyphs[i]);
      return fault;
    }
  }
  std::memcpy(cc, data, sizeof cc);
  std::memcpy(fonts16, glyphs, sizeof fonts16);
  return nullptr;
}

namespace {

// Reads at most the image size: trailing bytes play no part.
const char* ReadFonts16File() {
  const std::string path = FindDataFile(kFonts16Name);
  std::FILE* file = path.empty() ? nullptr : std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    const char* why = std::strerror(errno);
    std::snprintf(fault, sizeof fault, "cannot be opened (%s); looked in %s", why,
                  DataFoldersText().c_str());
    return fault;
  }
  std::vector<uint8_t> image(kFonts16FileSize);
  const size_t got = std::fread(image.data(), 1, image.size(), file);
  std::fclose(file);
  return LoadFonts16(image.data(), got);
}

}  // namespace

const char* InitFonts() {
  ExpandBitfonts();
  const char* why = ReadFonts16File();
  if (why == nullptr) return nullptr;
  static char line[sizeof fault + 32];
  std::snprintf(line, sizeof line, "%s: %s", kFonts16Name, why);
  return line;
}
