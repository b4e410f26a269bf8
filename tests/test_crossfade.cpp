// The four crossfades: exact levels at the ends of the range, floor division of negative
// differences, both halves of a word, and blending a buffer into itself.
#include <gtest/gtest.h>

#include <vector>

#include "effects/effects.h"
#include "platform/demo.h"

namespace {

using Image = std::vector<uint16_t>;

Image Filled(uint16_t v) { return Image(kPixels, v); }

Image Noise(uint32_t seed) {
  Image img(kPixels);
  for (auto& p : img) {
    seed = seed * 1103515245u + 12345u;
    p = static_cast<uint16_t>(seed >> 15);
  }
  return img;
}

Image NoiseLevels(uint32_t seed) {
  Image img = Noise(seed);
  for (auto& p : img) p &= 255;
  return img;
}

// One pixel blended channel by channel in the plain signed form.
uint16_t Reference(uint16_t base, uint16_t other, int level) {
  auto channel = [&](int shift, int mask) {
    const int b = (base >> shift) & mask, o = (other >> shift) & mask;
    return (b + (((o - b) * level) >> 8)) << shift;
  };
  return static_cast<uint16_t>(channel(11, 31) | channel(5, 63) | channel(0, 31));
}

constexpr uint16_t kWhite = 0xFFFF;
constexpr uint16_t kRed = 0xF800;

TEST(Crossfade, LevelZeroCopiesBAndOnlyTheLowEightBitsCount) {
  const Image a = Noise(1), b = Noise(2);
  Image dst = Filled(1);
  Crossfade(dst.data(), a.data(), b.data(), 0);
  EXPECT_EQ(dst, b);
  Crossfade(dst.data(), a.data(), b.data(), 256);
  EXPECT_EQ(dst, b);
  Image at255 = Filled(0), at511 = Filled(0);
  Crossfade(at255.data(), a.data(), b.data(), 255);
  Crossfade(at511.data(), a.data(), b.data(), 511);
  EXPECT_EQ(at255, at511);
}

TEST(Crossfade, NegativeDifferencesAreFloored) {
  const Image a = Filled(0), b = Filled(kRed);
  Image dst = Filled(0);
  Crossfade(dst.data(), a.data(), b.data(), 128);
  EXPECT_EQ(dst[0], 15 << 11);  // 31 - 16
  Crossfade(dst.data(), a.data(), b.data(), 1);
  EXPECT_EQ(dst[7], 30 << 11);  // -31/256 floors to -1; truncation would keep 31
}

TEST(Crossfade, EveryPixelMatchesTheChannelFormula) {
  const Image a = Noise(3), b = Noise(4);
  Image dst = Filled(0);
  for (int level : {1, 77, 128, 200, 255}) {
    Crossfade(dst.data(), a.data(), b.data(), level);
    for (int i = 0; i < kPixels; ++i)
      ASSERT_EQ(dst[i], Reference(b[i], a[i], level)) << "pixel " << i << " level " << level;
  }
}

TEST(CrossfadeToColor, LevelZeroGivesTheColourWhateverTheSource) {
  Image dst = Noise(5);
  CrossfadeToColor(dst.data(), Noise(6).data(), 255, 127, 0, 0);
  EXPECT_EQ(dst, Filled(0xFBE0));
}

TEST(CrossfadeToColor, WhiteAtLevel255TowardsBlackStopsOneStepShort) {
  Image dst = Filled(0);
  CrossfadeToColor(dst.data(), Filled(kWhite).data(), 0, 0, 0, 255);
  EXPECT_EQ(dst, Filled((30 << 11) | (62 << 5) | 30));
}

TEST(CrossfadeToColor, EveryPixelMatchesTheChannelFormula) {
  const Image src = Noise(7);
  Image dst = Filled(0);
  CrossfadeToColor(dst.data(), src.data(), 200, 100, 50, 99);
  const uint16_t colour = (25 << 11) | (25 << 5) | 6;
  for (int i = 0; i < kPixels; ++i) ASSERT_EQ(dst[i], Reference(colour, src[i], 99)) << i;
}

TEST(CrossfadeToColorTable, TableEndsGiveColourAndSourceInOppositeOrder) {
  const Image src = Filled(kWhite);
  const uint16_t near_white = (30 << 11) | (62 << 5) | 30;  // 255/256 of the way from black
  Image table = Filled(0);
  for (int i = 0; i < kPixels; i += 2) table[i + 1] = 255;  // left pixels 0, right pixels 255
  Image plain = Filled(1), inverse = Filled(1);
  CrossfadeToColorTable(plain.data(), src.data(), 0, 0, 0, table.data());
  CrossfadeToColorTable2(inverse.data(), src.data(), 0, 0, 0, table.data());
  for (int i = 0; i < kPixels; i += 2) {
    ASSERT_EQ(plain[i], 0) << i;
    ASSERT_EQ(plain[i + 1], near_white) << i;
    ASSERT_EQ(inverse[i], near_white) << i;
    ASSERT_EQ(inverse[i + 1], 0) << i;
  }
}

TEST(CrossfadeToColorTable, EachPixelTakesItsOwnLevel) {
  const Image src = Noise(8), table = NoiseLevels(9);
  Image plain = Filled(0), inverse = Filled(0);
  CrossfadeToColorTable(plain.data(), src.data(), 255, 255, 255, table.data());
  CrossfadeToColorTable2(inverse.data(), src.data(), 255, 255, 255, table.data());
  for (int i = 0; i < kPixels; ++i) {
    ASSERT_EQ(plain[i], Reference(kWhite, src[i], table[i])) << i;
    ASSERT_EQ(inverse[i], Reference(kWhite, src[i], 255 - table[i])) << i;
  }
}

TEST(Crossfades, BlendingInPlaceEqualsBlendingFromACopy) {
  const Image a = Noise(10), b = Noise(11), table = NoiseLevels(12);
  auto check = [&](auto fade) {
    Image copy = b, from_copy = Filled(0);
    fade(from_copy.data(), copy.data());
    Image in_place = b;
    fade(in_place.data(), in_place.data());
    EXPECT_EQ(in_place, from_copy);
  };
  check([&](uint16_t* d, const uint16_t* s) { Crossfade(d, a.data(), s, 90); });
  check([&](uint16_t* d, const uint16_t* s) { Crossfade(d, s, a.data(), 90); });
  check([&](uint16_t* d, const uint16_t* s) { CrossfadeToColor(d, s, 255, 255, 255, 170); });
  check([&](uint16_t* d, const uint16_t* s) { CrossfadeToColorTable(d, s, 0, 0, 0, table.data()); });
  check([&](uint16_t* d, const uint16_t* s) { CrossfadeToColorTable2(d, s, 9, 9, 9, table.data()); });
}

}  // namespace
