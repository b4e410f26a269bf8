// Every pixel of the palette lookups and of the transpose against their one-line formulas, with
// the awkward inputs: values above 255, every palette entry distinct, phases that wrap, and both
// screen shapes. The faster paths of these routines work on many pixels at a time, so a fault
// there shows as a few wrong pixels anywhere on the screen, not at a chosen spot.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "effects/effects.h"
#include "platform/demo.h"
#include "precalc/precalc.h"

namespace {

std::vector<uint16_t> Noise(uint32_t seed, size_t n) {
  std::vector<uint16_t> v(n);
  for (auto& p : v) {
    seed = seed * 1664525u + 1013904223u;
    p = static_cast<uint16_t>(seed >> 16);
  }
  return v;
}

// Values 0 .. 255 with a value past 255 here and there, so that some groups of pixels hold
// none and others a few: a row of `shades` reads on to the end of the table, a palette of its
// own to its own last entry.
TEST(Lookups, ShowGradBufferReadsEveryValueWithinItsTable) {
  const std::vector<uint16_t> table = Noise(3, 16384);
  std::copy(table.begin(), table.end(), shades);
  std::vector<uint16_t> src = Noise(4, kPixels), dst(kPixels);
  for (int i = 0; i < kPixels; ++i)
    if (i % 61 != 0) src[i] &= 255;
  for (int row : {0, 1, 8, 63}) {
    ShowGradBuffer(dst.data(), src.data(), shades + 256 * row);
    for (int i = 0; i < kPixels; ++i)
      ASSERT_EQ(dst[i], shades[std::min(256 * row + src[i], 16383)]) << "row " << row << " pixel " << i;
  }
  std::vector<uint16_t> pal(shades + 5, shades + 261);
  ShowGradBuffer(dst.data(), src.data(), pal.data());
  for (int i = 0; i < kPixels; ++i) ASSERT_EQ(dst[i], pal[std::min<int>(src[i], 255)]) << i;
  std::fill(std::begin(shades), std::end(shades), 0);
}

TEST(Lookups, PolarAtPhasesThatWrap) {
  PolarInit();
  std::vector<uint16_t> pal = Noise(5, 256), dst(kPixels);
  for (uint32_t frame : {0u, 1u, 63u, 12345u, 0xFFFFFFFFu}) {
    prfrm = frame;
    Polar(dst.data(), pal.data());
    for (int i = 0; i < kPixels; ++i) {
      uint32_t index = 4u * dist_angle[2 * i] + 8u * dist_angle[2 * i + 1] + 4u * frame;
      ASSERT_EQ(dst[i], pal[index & 255]) << "frame " << frame << " pixel " << i;
    }
  }
  prfrm = 0;
}

// The plasma's formula read through whatever palette table is set: the demo's triangle wave, and
// another one.
TEST(Lookups, ColorPlasmaFollowsItsPaletteTable) {
  SinePrecs();
  std::vector<uint16_t> dst(kPixels);
  for (bool triangle : {true, false}) {
    PlasmaInit();
    if (!triangle)
      for (int i = 0; i < 512; ++i) fpal[i] = (i * 37 + 11) & 255;
    for (uint32_t frame : {0u, 57u, 199u}) {
      prfrm = frame;
      ColorPlasma(dst.data());
      uint32_t m = frame % 100;
      for (uint32_t y = 0; y < kHeight; ++y)
        for (uint32_t x = 0; x < kWidth; ++x) {
          int32_t sum = fsin1[x] + fsin2[y] + fsin3[2 * m + y + x] + fsin2[fsin3[m + y] + x];
          uint32_t red = static_cast<uint32_t>(fpal[sum & 511]);
          uint32_t green = static_cast<uint32_t>(fpal[(red + x) & 511]);
          uint32_t blue = static_cast<uint32_t>(fpal[(red + x + y) & 511]);
          ASSERT_EQ(dst[y * kWidth + x], Rgb565(int(red), int(green), int(blue))) << triangle << " " << x << "," << y;
        }
    }
  }
  PlasmaInit();
  prfrm = 0;
}

TEST(Lookups, TransposeOfBothScreenShapes) {
  for (auto [rows, cols] : {std::pair{kHeight, kWidth}, std::pair{kWidth, kHeight}}) {
    std::vector<uint16_t> src = Noise(7, kPixels), dst(kPixels);
    TransposePixels(dst.data(), src.data(), rows, cols);
    for (int y = 0; y < rows; ++y)
      for (int x = 0; x < cols; ++x) ASSERT_EQ(dst[x * rows + y], src[y * cols + x]) << x << "," << y;
  }
}

}  // namespace
