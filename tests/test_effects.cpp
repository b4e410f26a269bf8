// Full-screen effects against values worked out by hand from their formulas, the band split of
// the three-band rotozoomer, and the box blur against a direct windowed mean.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "data/assets.h"
#include "effects/effects.h"
#include "platform/demo.h"
#include "platform/platform.h"
#include "precalc/precalc.h"

namespace {

class Effects : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    UseHeadlessPlatform();
    SinePrecs();
    PlasmaInit();
    PolarInit();
    RotoBitmapInit();
  }
  void SetUp() override {
    prticks = 0;
    prfrm = 0;
  }
};

std::vector<uint16_t> Noise(uint32_t seed, uint16_t mask) {
  std::vector<uint16_t> v(kPixels);
  for (auto& p : v) {
    seed = seed * 1664525u + 1013904223u;
    p = static_cast<uint16_t>((seed >> 16) & mask);
  }
  return v;
}

// A palette whose entry i is i * 3 + 1, so that every lookup is recognisable.
std::vector<uint16_t> CountingPalette() {
  std::vector<uint16_t> pal(256);
  for (int i = 0; i < 256; ++i) pal[i] = static_cast<uint16_t>(i * 3 + 1);
  return pal;
}

TEST_F(Effects, ShowGradBufferLooksEveryValueUp) {
  std::vector<uint16_t> pal = CountingPalette(), src(kPixels, 0), dst(kPixels, 7);
  ShowGradBuffer(dst.data(), src.data(), pal.data());
  EXPECT_TRUE(std::all_of(dst.begin(), dst.end(), [](uint16_t p) { return p == 1; }));

  src = Noise(5, 255);
  ShowGradBuffer(dst.data(), src.data(), pal.data());
  for (int i : {0, 1, 2, 3, 1001, kPixels - 2, kPixels - 1}) EXPECT_EQ(dst[i], src[i] * 3 + 1) << i;
}

// A value past 255 reads on into the next rows of `shades`: where the stars overshoot, row 1
// shows row 2's orange. Only the end of the table holds a value back.
TEST_F(Effects, ShowGradBufferReadsPastTheRowButNotPastTheTable) {
  SetColors();
  std::vector<uint16_t> src(kPixels), dst(kPixels);
  for (int i = 0; i < kPixels; ++i) src[i] = static_cast<uint16_t>(254 + i % 47);  // 254 .. 300
  ShowGradBuffer(dst.data(), src.data(), shades + 256);
  EXPECT_EQ(dst[0], shades[256 + 254]);
  EXPECT_EQ(dst[1], shades[256 + 255]);
  for (int i = 0; i < kPixels; ++i)
    if (src[i] >= 256) {
      ASSERT_EQ(dst[i], shades[512 + src[i] - 256]) << i;
    }
  EXPECT_NE(dst[2], 0) << "row 2 starts orange, not black";

  const uint16_t kept = shades[16383];
  shades[16383] = 0x1234;  // the last entry, unfilled by SetColors
  std::fill(src.begin(), src.end(), 65535);
  ShowGradBuffer(dst.data(), src.data(), shades + 8 * 256);
  EXPECT_EQ(dst, std::vector<uint16_t>(kPixels, 0x1234));
  ShowGradBuffer(dst.data(), src.data(), shades + 63 * 256);
  EXPECT_EQ(dst, std::vector<uint16_t>(kPixels, 0x1234));
  shades[16383] = kept;
}

TEST_F(Effects, SineBufferLeavesTheRightAndCoversTheLeft) {
  std::vector<uint16_t> buf = Noise(9, 255), before = buf;
  SineBuffer(buf.data(), -55);
  EXPECT_EQ(buf, before);

  buf[0] = 255;
  buf[kPixels - 1] = 255;
  before = buf;
  SineBuffer(buf.data(), 350);
  for (int i = 0; i < kPixels; ++i) ASSERT_EQ(buf[i], before[i] == 255 ? 255 : 254) << i;
}

TEST_F(Effects, SineBufferRampOnTheFirstRow) {
  // prticks 0: the edge of row 0 lies at fsin4[0] + fsin5[0] + pos = 16 + 12 + 100 = 128.
  std::vector<uint16_t> buf(kPixels, 100);
  SineBuffer(buf.data(), 100);
  EXPECT_EQ(buf[97], 254);   // f = 255: (25600 + 155 * 255) >> 8
  EXPECT_EQ(buf[98], 243);   // f = 248: (25600 + 148 * 248) >> 8
  EXPECT_EQ(buf[118], 95);   // f = 88:  (25600 - 12 * 88) >> 8, floored
  EXPECT_EQ(buf[128], 97);   // f = 8:   (25600 - 92 * 8) >> 8
  EXPECT_EQ(buf[129], 100);  // f = 0
  EXPECT_EQ(buf[319], 100);
}

TEST_F(Effects, PolarPixelsAtTheCentreAndACorner) {
  std::vector<uint16_t> pal = CountingPalette(), dst(kPixels);
  Polar(dst.data(), pal.data());
  EXPECT_EQ(dst[120 * kWidth + 160], pal[0]);  // distance 0, angle 0
  EXPECT_EQ(dst[120 * kWidth + 161], pal[0]);  // distance 8192, angle 0
  EXPECT_EQ(dst[121 * kWidth + 160], pal[0]);  // distance 8192, angle 128
  EXPECT_EQ(dst[0], pal[72]);                  // distance 40, angle -203 -> 53

  prfrm = 3;
  Polar(dst.data(), pal.data());
  EXPECT_EQ(dst[120 * kWidth + 160], pal[12]);
  EXPECT_EQ(dst[200 * kWidth + 10], pal[140]);  // distance 48, angle 216, phase 12
}

TEST_F(Effects, ColorPlasmaPixelsAndPeriod) {
  std::vector<uint16_t> a(kPixels), b(kPixels);
  ColorPlasma(a.data());
  EXPECT_EQ(a[0], Rgb565(188, 188, 188));  // v = 256 + 128 + 64 + 252 = 700 -> 188
  prfrm = 7;
  ColorPlasma(a.data());
  EXPECT_EQ(a[45 * kWidth + 123], Rgb565(238, 150, 105));
  prfrm = 99;
  ColorPlasma(a.data());
  EXPECT_EQ(a[kPixels - 1], Rgb565(251, 58, 214));  // the last table entries are read here

  prfrm = 5;
  ColorPlasma(a.data());
  prfrm = 305;
  ColorPlasma(b.data());
  EXPECT_EQ(a, b);
  prfrm = 6;
  ColorPlasma(b.data());
  EXPECT_NE(a, b);
}

TEST_F(Effects, RotozoomerAtAngleZeroAndZoomOneTilesThePicture) {
  std::vector<uint16_t> dst(kPixels);
  RotozoomerNearest(dst.data(), 0.0f, 1.0f);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      ASSERT_EQ(dst[y * kWidth + x], dracul[((157 + y) & 127) * 128 + ((149 + x) & 127)])
          << x << "," << y;
}

TEST_F(Effects, RotozoomerTurnsByTheAngleOverTheSlightlyShortPi) {
  // angle 45, zoom 0.75: dc = 48996, ds = 3907; pixel (10, 20) samples texel (26, 44).
  std::vector<uint16_t> dst(kPixels);
  RotozoomerNearest(dst.data(), 45.0f, 0.75f);
  EXPECT_EQ(dst[20 * kWidth + 10], dracul[44 * 128 + 26]);
}

// The bilinear sample with signed products and floored shifts, field by field.
int Lerp(int a, int b, int f) { return a + (((b - a) * f) >> 16); }
int Bilinear(int p00, int p01, int p10, int p11, int fu, int fv) {
  return Lerp(Lerp(p00, p01, fu), Lerp(p10, p11, fu), fv);
}
int Field(uint16_t p, int shift, int mask) { return (p >> shift) & mask; }

TEST_F(Effects, RotozoomerBandsSampleAsNearestGreyAndColour) {
  const float angle = 1234.5f, zoom = 0.37f;
  std::vector<uint16_t> nearest(kPixels), grey(kPixels), colour(kPixels), bands(kPixels);
  RotozoomerNearest(nearest.data(), angle, zoom);
  RotozoomerAll(grey.data(), angle, zoom, 0, 240);
  RotozoomerAll(colour.data(), angle, zoom, 0, 0);
  RotozoomerAll(bands.data(), angle, zoom, 80, 160);
  EXPECT_TRUE(std::equal(bands.begin(), bands.begin() + 80 * kWidth, nearest.begin()));
  EXPECT_TRUE(std::equal(bands.begin() + 80 * kWidth, bands.begin() + 160 * kWidth,
                         grey.begin() + 80 * kWidth));
  EXPECT_TRUE(std::equal(bands.begin() + 160 * kWidth, bands.end(), colour.begin() + 160 * kWidth));

  std::vector<uint16_t> all_nearest(kPixels);
  RotozoomerAll(all_nearest.data(), angle, zoom, 240, 240);
  EXPECT_EQ(all_nearest, nearest);

  // Every pixel against the field-by-field formula, with the walk written out per pixel.
  double r = static_cast<double>(angle) / 180 / 3.14151693;
  int32_t dc = ftoi(std::cos(r) * static_cast<double>(zoom) * 65536);
  int32_t ds = ftoi(std::sin(r) * static_cast<double>(zoom) * 65536);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      uint32_t u = (148u << 16) + static_cast<uint32_t>(x + 1) * static_cast<uint32_t>(dc) -
                   static_cast<uint32_t>(y + 1) * static_cast<uint32_t>(ds);
      uint32_t v = (156u << 16) + static_cast<uint32_t>(x + 1) * static_cast<uint32_t>(ds) +
                   static_cast<uint32_t>(y + 1) * static_cast<uint32_t>(dc);
      int tx = (u >> 16) & 127, ty = (v >> 16) & 127, tx1 = (tx + 1) & 127, ty1 = (ty + 1) & 127;
      int fu = u & 0xFFFF, fv = v & 0xFFFF;
      int i00 = ty * 128 + tx, i01 = ty * 128 + tx1, i10 = ty1 * 128 + tx, i11 = ty1 * 128 + tx1;
      int g = Bilinear(gradbmp[i00], gradbmp[i01], gradbmp[i10], gradbmp[i11], fu, fv);
      ASSERT_EQ(grey[y * kWidth + x], ((g >> 3) << 11) | ((g >> 2) << 5) | (g >> 3)) << x << "," << y;
      int fields[3];
      const int shifts[3] = {11, 5, 0}, masks[3] = {31, 63, 31};
      for (int k = 0; k < 3; ++k)
        fields[k] = Bilinear(Field(dracul[i00], shifts[k], masks[k]), Field(dracul[i01], shifts[k], masks[k]),
                             Field(dracul[i10], shifts[k], masks[k]), Field(dracul[i11], shifts[k], masks[k]),
                             fu, fv);
      ASSERT_EQ(colour[y * kWidth + x], (fields[0] << 11) | (fields[1] << 5) | fields[2])
          << x << "," << y;
    }
  }
}

// The blur of one line by summing each window directly.
std::vector<uint16_t> DirectBlur(const uint16_t* s, int len, int r) {
  std::vector<uint16_t> d(len);
  uint32_t mul = 1048576u / (2 * r + 1);
  for (int x = 0; x < len; ++x) {
    int lo = std::max(0, x - r), hi = std::min(len - 1, x + r);
    uint32_t sum = 0;
    for (int k = lo; k <= hi; ++k) sum += s[k];
    // The left phase runs up to x = r, so its last window is whole but still divided exactly.
    bool exact = x <= r || x + r > len - 1;
    d[x] = static_cast<uint16_t>(exact ? sum / (hi - lo + 1) : (sum * mul) >> 20);
  }
  return d;
}

TEST(Blur, RadiusZeroCopiesAndRadiusOneLosesALevelInTheMiddle) {
  std::vector<uint16_t> src = Noise(3, 255), dst(kPixels);
  BlurX(dst.data(), src.data(), 0);
  EXPECT_EQ(dst, src);
  BlurY(dst.data(), src.data(), 0);  // reads the input as transposed
  for (int x = 0; x < kWidth; ++x)
    for (int y = 0; y < kHeight; ++y) ASSERT_EQ(dst[y * kWidth + x], src[x * kHeight + y]);

  std::vector<uint16_t> white(kPixels, 255);
  BlurX(dst.data(), white.data(), 1);
  for (int y = 0; y < kHeight; ++y) {
    const uint16_t* row = dst.data() + y * kWidth;
    ASSERT_EQ(row[0], 255);
    ASSERT_EQ(row[1], 255);
    for (int x = 2; x <= 318; ++x) ASSERT_EQ(row[x], 254) << x;
    ASSERT_EQ(row[319], 255);
  }
}

TEST(Blur, EveryRadiusMatchesTheDirectWindowMean) {
  std::vector<uint16_t> src = Noise(11, 255), dst(kPixels);
  for (int r : {1, 2, 9, 16, 31, 100, 119, 158, 159}) {
    BlurX(dst.data(), src.data(), static_cast<uint32_t>(r));
    for (int y : {0, 117, 239}) {
      auto want = DirectBlur(src.data() + y * kWidth, kWidth, r);
      ASSERT_TRUE(std::equal(want.begin(), want.end(), dst.begin() + y * kWidth)) << r << " " << y;
    }
    if (r > 119) continue;
    BlurY(dst.data(), src.data(), static_cast<uint32_t>(r));
    for (int x : {0, 201, 319}) {
      auto want = DirectBlur(src.data() + x * kHeight, kHeight, r);
      for (int y = 0; y < kHeight; ++y) ASSERT_EQ(dst[y * kWidth + x], want[y]) << r << " " << x << " " << y;
    }
  }
}

TEST(Blur, RightEdgeIsThePlainMeanOfTheCutWindow) {
  std::vector<uint16_t> src(kPixels, 0), dst(kPixels);
  src[319] = 200;
  src[318] = 100;
  BlurX(dst.data(), src.data(), 2);
  EXPECT_EQ(dst[319], 100);  // (100 + 200 + 0) / 3
  EXPECT_EQ(dst[318], 75);   // (0 + 100 + 200 + 0) / 4
  EXPECT_EQ(dst[317], 59);   // full window: 300 * 209715 >> 20, the truncated reciprocal
  EXPECT_EQ(dst[1], 0);
}

TEST(Blur, TooWideARadiusIsClampedToTheLine) {
  std::vector<uint16_t> src = Noise(21, 255), widest(kPixels);
  BlurX(widest.data(), src.data(), 159);
  std::vector<uint16_t> dst(kPixels + 64, 0xABCD);
  BlurX(dst.data(), src.data(), 5000);
  EXPECT_TRUE(std::equal(widest.begin(), widest.end(), dst.begin()));
  EXPECT_TRUE(std::all_of(dst.begin() + kPixels, dst.end(), [](uint16_t p) { return p == 0xABCD; }));

  BlurY(widest.data(), src.data(), 119);
  std::fill(dst.begin(), dst.end(), 0xABCD);
  BlurY(dst.data(), src.data(), 0xFFFFFFFFu);
  EXPECT_TRUE(std::equal(widest.begin(), widest.end(), dst.begin()));
  EXPECT_TRUE(std::all_of(dst.begin() + kPixels, dst.end(), [](uint16_t p) { return p == 0xABCD; }));
}

TEST(Blur, BothWaysLeavesTheThreeBuffersOfTheSeparateSteps) {
  std::vector<uint16_t> src = Noise(31, 255);
  for (uint32_t r : {0u, 1u, 16u, 119u, 140u}) {
    std::vector<uint16_t> across(kPixels), transposed(kPixels), out(kPixels);
    BlurX(across.data(), src.data(), r);
    TransposePixels(transposed.data(), across.data(), kHeight, kWidth);
    BlurY(out.data(), transposed.data(), r);
    std::vector<uint16_t> across2(kPixels), transposed2(kPixels), out2(kPixels);
    BlurBothWays(across2.data(), transposed2.data(), out2.data(), src.data(), r);
    EXPECT_EQ(across2, across) << r;
    EXPECT_EQ(transposed2, transposed) << r;
    EXPECT_EQ(out2, out) << r;
  }
}

}  // namespace
