// The effect tables: worked values, edge entries and ranges that their readers rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "data/assets.h"
#include "platform/demo.h"
#include "platform/platform.h"
#include "precalc/precalc.h"

namespace {

// The builders show loading frames; on the headless clock they cost nothing.
class Tables : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    UseHeadlessPlatform();
    SinePrecs();
    PrecDivs();
    PlasmaInit();
    PolarInit();
    RotoBitmapInit();
    InitBlob();
  }
};

struct SineCase {
  const int32_t* table;
  int count;
  int amplitude;
};

TEST_F(Tables, SinesStartAtTheOffsetAndSpanTheirWholeRange) {
  const SineCase cases[] = {{fsin1, 320, 256}, {fsin2, 448, 128}, {fsin3, 760, 64},
                            {fsin4, 240, 16}, {fsin5, 290, 12}};
  for (const SineCase& c : cases) {
    SCOPED_TRACE(c.amplitude);
    EXPECT_EQ(c.table[0], c.amplitude);
    const int32_t* end = c.table + c.count;
    EXPECT_EQ(*std::min_element(c.table, end), 0);
    EXPECT_EQ(*std::max_element(c.table, end), 2 * c.amplitude - 1);
  }
}

TEST_F(Tables, SineEntriesTruncateTowardZero) {
  EXPECT_EQ(fsin1[100], 511);  // 256 + 256 sin(1.5625) = 511.99
  EXPECT_EQ(fsin1[64], 471);   // 256 + 256 sin(1) = 471.41
  EXPECT_EQ(fsin2[48], 235);   // 128 + 128 sin(1) = 235.71
  EXPECT_EQ(fsin3[16], 117);   // 64 + 64 sin(1) = 117.85
  EXPECT_EQ(fsin4[113], 0);    // 16 + 16 sin(4.7083) = 0.0001
  EXPECT_EQ(fsin5[8], 22);     // 12 + 12 sin(1) = 22.10
}

TEST_F(Tables, MakeSinesFillsExactlyCountEntries) {
  int32_t table[6];
  std::fill(table, table + 6, -7);
  MakeSines(table, 5, 2, 10, 10);
  EXPECT_EQ(table[0], 10);
  EXPECT_EQ(table[1], 14);  // 10 + 10 sin(0.5) = 14.79
  EXPECT_EQ(table[4], 19);  // 10 + 10 sin(2) = 19.09
  EXPECT_EQ(table[5], -7);
}

TEST_F(Tables, ReciprocalsAroundTheMiddle) {
  EXPECT_EQ(pdiv[0], -16);
  EXPECT_EQ(pdiv[4095], -65536);
  EXPECT_EQ(pdiv[4096], 65536);
  EXPECT_EQ(pdiv[4097], 65536);
  EXPECT_EQ(pdiv[8191], 16);
  const int32_t* middle = pdiv + 4096;
  EXPECT_EQ(middle[1], 65536);
  EXPECT_EQ(middle[-1], -65536);
  EXPECT_EQ(middle[3], 21845);
  EXPECT_EQ(middle[-3], -21845);  // truncated toward zero, not floored
  EXPECT_EQ(middle[4095], 16);
  EXPECT_EQ(middle[-4096], -16);
}

TEST_F(Tables, PlasmaPaletteIsATriangleWave) {
  EXPECT_EQ(fpal[0], 0);
  EXPECT_EQ(fpal[128], 128);
  EXPECT_EQ(fpal[255], 255);
  EXPECT_EQ(fpal[256], 255);
  EXPECT_EQ(fpal[511], 0);
}

uint16_t Distance(int x, int y) { return dist_angle[2 * (y * kWidth + x)]; }
uint16_t Angle(int x, int y) { return dist_angle[2 * (y * kWidth + x) + 1]; }

TEST_F(Tables, PolarMapCentreAndNeighbours) {
  EXPECT_EQ(Distance(160, 120), 0);
  EXPECT_EQ(Angle(160, 120), 0);
  EXPECT_EQ(Distance(161, 120), 8192);
  EXPECT_EQ(Angle(161, 120), 0);
  EXPECT_EQ(Distance(160, 121), 8192);
  EXPECT_EQ(Angle(160, 121), 128);
  EXPECT_EQ(Distance(0, 0), 40);  // (-160, -120) is 200 away
  EXPECT_EQ(Distance(161, 121), 5792);  // 8192 / sqrt(2)
}

TEST_F(Tables, PolarAnglesUseTheDemoConstantAndTruncateTowardZero) {
  struct Case { int x, y, angle; };
  const Case cases[] = {{1, 0, 0},   {0, 1, 128},  {-1, 0, 0},   {0, -1, 128},
                        {1, 1, 64},  {5, -1, 240}, {-1, -1, 64}, {-1, 1, 192}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
    EXPECT_EQ(Angle(160 + c.x, 120 + c.y), c.angle);
  }
}

TEST_F(Tables, PolarEntriesStayInRange) {
  for (int i = 0; i < kPixels; ++i) {
    ASSERT_LE(dist_angle[2 * i], 8192);
    ASSERT_LE(dist_angle[2 * i + 1], 255);
  }
}

TEST_F(Tables, BlobFallsOffAsTheInverseFourthPower) {
  EXPECT_EQ(blob[32 * 64 + 32], 255);
  EXPECT_EQ(blob[32 * 64 + 40], 255);  // d = 64
  EXPECT_EQ(blob[32 * 64 + 41], 159);  // d = 81
  EXPECT_EQ(blob[33 * 64 + 40], 248);  // d = 65
  EXPECT_EQ(blob[32 * 64 + 0], 1);     // d = 1024
  EXPECT_EQ(blob[0], 0);
  for (int i = 0; i < 64; ++i) {
    if (i == 32) continue;
    EXPECT_EQ(blob[i], 0) << i;           // row 0
    EXPECT_EQ(blob[i * 64], 0) << i;      // column 0
  }
}

TEST(GreyLevel, WeightsTheWidenedChannels) {
  EXPECT_EQ(GreyLevel(0x0000), 0);
  EXPECT_EQ(GreyLevel(0xF800), 74);   // 0.30 x 248
  EXPECT_EQ(GreyLevel(0x07E0), 148);  // 0.59 x 252
  EXPECT_EQ(GreyLevel(0x001F), 27);   // 0.11 x 248
  EXPECT_EQ(GreyLevel(0xFFFF), 250);
  int highest = 0;
  for (int p = 0; p < 65536; ++p) highest = std::max(highest, GreyLevel(static_cast<uint16_t>(p)));
  EXPECT_EQ(highest, 250);
}

TEST_F(Tables, RotozoomerGreyCopyFollowsThePicture) {
  for (int i = 0; i < 16384; ++i) ASSERT_EQ(gradbmp[i], GreyLevel(dracul[i])) << i;
  // The picture must not be flat: the grey band would show nothing.
  auto [low, high] = std::minmax_element(gradbmp, gradbmp + 16384);
  EXPECT_GT(*high - *low, 100);
}

TEST(Stars, ThreeDimensionalFieldDrawsXThenYThenSpeedPerStar) {
  randstate = 12345;
  int expected[6];
  for (int& r : expected) r = DemoRand();
  randstate = 12345;
  Stars3dInit();
  EXPECT_EQ(star3dx[0], static_cast<float>(expected[0] % 64 - 32));
  EXPECT_EQ(star3dy[0], static_cast<float>(expected[1] % 64 - 32));
  EXPECT_EQ(star3dv[0], static_cast<float>((expected[2] % 4096) / 512 + 4));
  EXPECT_EQ(star3dx[1], static_cast<float>(expected[3] % 64 - 32));
  EXPECT_EQ(star3dv[1], static_cast<float>((expected[5] % 4096) / 512 + 4));
  for (int i = 0; i < 512; ++i) {
    ASSERT_FLOAT_EQ(star3dz[i], 3723.6364f);
    ASSERT_TRUE(star3dx[i] >= -32 && star3dx[i] <= 31);
    ASSERT_TRUE(star3dv[i] >= 4 && star3dv[i] <= 11 && star3dv[i] == std::floor(star3dv[i]));
  }
}

TEST(Stars, ThreeDimensionalFieldFollowsTheSpawnSquareAndDepth) {
  scsize = 200;
  starfar = 1100;
  Stars3dInit();
  for (int i = 0; i < 512; ++i) {
    ASSERT_TRUE(star3dy[i] >= -100 && star3dy[i] <= 99);
    ASSERT_EQ(star3dz[i], 1000.0f);
  }
  scsize = 64;
  starfar = 4096;
}

TEST(Stars, FlatFieldUsesIntegerQuotients) {
  randstate = 777;
  int first[5];
  for (int& r : first) r = DemoRand();
  randstate = 777;
  Stars2dInit();
  EXPECT_EQ(starx[0], static_cast<float>(first[0] % 320));
  EXPECT_EQ(stary[0], static_cast<float>(first[1] % 240));
  EXPECT_EQ(starv[0], static_cast<float>((first[3] % 4096) / 512 + 0.5));
  EXPECT_EQ(starw[0], static_cast<float>(first[4] % 16 + 8));
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(starz[i], 0.1f);  // the quotient by 16384 is always 0
    ASSERT_TRUE(starv[i] >= 0.5f && starv[i] <= 7.5f);
    ASSERT_TRUE(starw[i] >= 8 && starw[i] <= 23);
  }
}

}  // namespace
