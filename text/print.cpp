// The text printers. Each 16-pixel character costs two sines for its wobble and a byte-map
// lookup per pixel; the 8 x 8 font serves only the frame-rate display.
#include <algorithm>
#include <cmath>

#include "platform/demo.h"
#include "text/text.h"

namespace {

// How a glyph level v (1 to 15) becomes a destination value.
struct ThroughTable {
  const uint16_t* table;
  uint16_t operator()(int v) const { return table[16 * v]; }
};
struct RawLevel {
  uint16_t operator()(int v) const { return static_cast<uint16_t>(16 * v); }
};

// Pixels off the left or right edge are skipped one by one; rows off the buffer too, which
// the string printers never reach (they keep Y within 0 to 223).
template <class Shade>
void DrawChar16(int x, int y, int k, uint16_t* dst, Shade shade) {
  const uint8_t* glyph = fonts16 + 256 * cc[k & 255];
  const int64_t left = x, top = y;
  const int c0 = left < 0 ? static_cast<int>(std::min<int64_t>(16, -left)) : 0;
  const int c1 = static_cast<int>(std::clamp<int64_t>(kWidth - left, 0, 16));
  for (int r = 0; r < 16; ++r) {
    const int64_t row = top + r;
    if (row < 0 || row >= kHeight) continue;
    uint16_t* line = dst + row * kWidth;
    for (int c = c0; c < c1; ++c) {
      const int v = glyph[16 * r + c];
      if (v != 0) line[left + c] = shade(v);
    }
  }
}

// A character is drawn whole or not at all by its position; the wobble is computed in
// double from the part clock and truncated towards zero.
template <class Place, class Shade>
void PrintString(const char* text, int length, uint16_t* dst, Place place, Shade shade) {
  for (int i = 0; i < length; ++i) {
    int x, y;
    place(i, x, y);
    if (x < -15 || x > 335 || y < 0 || y > 223) continue;
    DrawChar16(x, y, static_cast<uint8_t>(text[i]), dst, shade);
  }
}

double PartClock() { return static_cast<double>(prticks); }

}  // namespace

void Print(int x, int y, const char* text, int length, const uint16_t* table, uint16_t* dst) {
  const double t = PartClock();
  auto place = [&](int i, int& px, int& py) {
    px = ftoi(x + 16.0 * i + 8 * std::sin((t / 16 + 6.0 * i) / 12));
    py = ftoi(y + 8 * std::sin((3.0 * i + t / 24) / 4));
  };
  PrintString(text, length, dst, place, ThroughTable{table});
}

void Print8(int x, int y, const char* text, int length, uint16_t* dst, int phase) {
  const double t = PartClock();
  auto place = [&](int i, int& px, int& py) {
    px = ftoi(x + 16.0 * i + 4 * std::sin((5.0 * i + t / 16) / 8));
    py = ftoi(y + 6 * std::sin((3.0 * i + t / 24 + phase) / 4));
  };
  PrintString(text, length, dst, place, RawLevel{});
}

void PrintNormal(int x, int y, const char* text, int length, const uint16_t* table, uint16_t* dst) {
  auto place = [&](int i, int& px, int& py) {
    px = ftoi(x + 16.0 * i);
    py = y;
  };
  PrintString(text, length, dst, place, ThroughTable{table});
}

void PrintFont(int x, int y, int k, const uint16_t* table, uint16_t* dst) {
  DrawChar16(x, y, k, dst, ThroughTable{table});
}

void PrintFont8(int x, int y, int k, uint16_t* dst) { DrawChar16(x, y, k, dst, RawLevel{}); }

namespace {

constexpr int kSmallGlyphCount = 59;

uint16_t Grey565(uint8_t b) { return static_cast<uint16_t>(((b >> 3) << 11) | ((b >> 2) << 5) | (b >> 3)); }

}  // namespace

// No clipping by column: a glyph past the right edge continues on the next row, as the frame
// counter never gets there. Only pixels that would leave the buffer altogether are dropped.
void DrawFont(int x, int y, int g, int bpp, void* dst) {
  if (g < 0 || g >= kSmallGlyphCount || (bpp != 8 && bpp != 16)) return;
  const uint8_t* glyph = fonts + 64 * g;
  for (int r = 0; r < 8; ++r) {
    const int64_t row = static_cast<int64_t>(y) + r;
    if (row < 1 || row > 238) continue;
    for (int c = 0; c < 8; ++c) {
      const int64_t at = row * kWidth + x + c;
      if (at < 0 || at >= kPixels) continue;
      const uint8_t b = glyph[8 * r + c];
      if (bpp == 8)
        static_cast<uint8_t*>(dst)[at] |= b;
      else
        static_cast<uint16_t*>(dst)[at] = Grey565(b);
    }
  }
}

void DrawText_(int x, int y, int n, const char* text, int bpp, void* dst) {
  for (int taken = 0; taken < n;) {
    const int k = static_cast<uint8_t>(text[taken++]);
    if (k == 0) return;
    if (k >= 32 && k <= 90) DrawFont(x, y, k - 32, bpp, dst);
    if (x > 319 - 8) return;
    x += 8;
  }
}
