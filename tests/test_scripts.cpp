// The part scripts over whole runs of their parts: the rotozoomer's bands and captions, the
// bounce, the credit windows and jitter, the transpose and the frame counter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "effects/effects.h"
#include "platform/demo.h"
#include "platform/platform.h"
#include "precalc/precalc.h"
#include "show/script.h"
#include "text/text.h"

namespace {

class Scripts : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    UseHeadlessPlatform();
    SinePrecs();
    RotoBitmapInit();
  }
  void SetUp() override {
    ResetDemoState();
    ResetScriptState();
    std::memset(fonts16, 0, sizeof fonts16);  // the captions print nothing unless a test loads a font
  }
};

TEST_F(Scripts, RotozoomerBandsAndCaptionsOverThePart) {
  std::vector<uint16_t> dst(kPixels), want(kPixels);
  int frozen_yr = 0;
  for (uint32_t t = 0; t <= 34800; t += 20, ++prfrm) {
    prticks = t;
    RotoZoomerScript(dst.data());
    if (t == 6000) {
      EXPECT_EQ(xr1, 104);
      EXPECT_EQ(yf1, 240);
      EXPECT_EQ(yf2, 240);
      EXPECT_EQ(yr, 120);
    }
    if (t == 12280) {
      EXPECT_EQ(xr2, 100);
      EXPECT_EQ(yf1, 120);
      EXPECT_EQ(yf2, 240);
    }
    if (t == 24060) {
      EXPECT_EQ(xr3, 128);
      EXPECT_EQ(yf1, 80);
      EXPECT_EQ(yf2, 160);
      EXPECT_EQ(yr, 40);
      auto zoom = static_cast<float>(0.2 + 0.15 * std::sin(prfrm / 64.0));
      auto angle = static_cast<float>(4096 * std::sin(prfrm / 640.0));
      RotozoomerAll(want.data(), angle, zoom, 80, 160);
      EXPECT_EQ(dst, want);
    }
    if (t == 24320) frozen_yr = yr;
    if (t > 24320) {
      ASSERT_EQ(yr, frozen_yr) << t;  // the captions keep their rows flying out
    }
  }
  EXPECT_EQ(frozen_yr, (80 - 13) / 2);  // yf1 fell by one in each of the 13 frames after 24064
  EXPECT_EQ(yf1, 0);
  EXPECT_EQ(yf2, 240);
  EXPECT_GT(xr1, 320);
  EXPECT_LT(xr2, -144);
}

TEST_F(Scripts, RotozoomerAtTheLastStillMomentKeepsTheBands) {
  yf1 = 80;
  prticks = 24064;  // neither the settling step nor the fly-out applies
  RotoZoomerScript(screen1);
  EXPECT_EQ(yf1, 80);
  EXPECT_EQ(yf2, 160);
  EXPECT_EQ(xr1, -256);
  prticks = 24065;
  RotoZoomerScript(screen1);
  EXPECT_EQ(yf1, 79);
  EXPECT_EQ(yf2, 161);
  EXPECT_EQ(xr1, -252);
  EXPECT_EQ(xr2, 380);
  EXPECT_EQ(xr3, -124);
  EXPECT_EQ(yr, 39);
}

TEST_F(Scripts, BounceOnTheFloorAndTheFloorSchedule) {
  bx = 241.0f;
  xu = -1.0f;
  BounceSineBuffer();  // lands exactly on the floor 240: no bounce
  EXPECT_EQ(bx, 240.0f);
  EXPECT_EQ(xu, -1.0f + -0.1f);
  float v = xu + xg;
  BounceSineBuffer();  // would pass below: stays on the floor, turned round at half speed
  EXPECT_EQ(bx, 240.0f);
  EXPECT_EQ(xu, v * -0.5f);

  ResetScriptState();
  for (int i = 0; i < 3000; ++i) {
    BounceSineBuffer();
    ASSERT_GE(bx, 240.0f) << i;
  }
  EXPECT_LT(std::fabs(xu), 0.2f);  // settled

  const std::pair<uint32_t, int> floors[] = {{4096, 240}, {4097, 160}, {8192, 160},
                                             {8193, 80},  {16384, 80}, {16385, -64}};
  for (auto [t, floor] : floors) {
    prticks = t;
    SineBufferScript();
    EXPECT_EQ(bounceX, floor) << t;
  }
  prticks = 20479;
  SineBufferScript();
  EXPECT_EQ(part, 6);
  prticks = 20480;
  SineBufferScript();
  EXPECT_EQ(part, 3);
}

TEST_F(Scripts, SineBufferScriptWipesAtTheTruncatedPosition) {
  prticks = 17000;  // the floor is -64 by now
  for (auto [position, column] : {std::pair{150.75f, 150}, std::pair{-10.75f, -10}}) {
    std::fill(std::begin(gradbuffer), std::end(gradbuffer), 0);
    std::vector<uint16_t> want(kPixels, 0);
    bx = position;
    xu = 0.0f;
    SineBufferScript();
    SineBuffer(want.data(), column);
    EXPECT_TRUE(std::equal(want.begin(), want.end(), gradbuffer)) << position;
  }
}

// A font in which every character is a solid 16 x 16 square of level 15.
void LoadSolidFont() {
  std::vector<uint8_t> image(kFonts16FileSize, 0);
  std::fill(image.begin(), image.begin() + 256, 1);
  std::fill(image.begin() + 256 + 256, image.begin() + 256 + 512, 15);
  ASSERT_EQ(LoadFonts16(image.data(), image.size()), nullptr);
}

struct Lit {
  int left = kWidth, top = kHeight;
  bool any = false;
};
Lit LitArea(const std::vector<uint16_t>& buf) {
  Lit l;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      if (buf[y * kWidth + x]) l.any = true, l.left = std::min(l.left, x), l.top = std::min(l.top, y);
  return l;
}

TEST_F(Scripts, CreditsShowInTheirWindowsOnly) {
  LoadSolidFont();
  std::vector<uint16_t> buf(kPixels);
  const uint32_t shown[] = {32768, 33790, 34816, 36862, 36864, 38910, 38912, 40958,
                            40960, 43006, 43008, 45054, 45056, 49150, 49152, 53246};
  const uint32_t gaps[] = {0, 32767, 33791, 34000, 34815, 36863, 45055, 53247, 60000};
  for (uint32_t t : shown) {
    prticks = t;
    std::fill(buf.begin(), buf.end(), 0);
    TextScript1(buf.data());
    EXPECT_TRUE(LitArea(buf).any) << t;
  }
  for (uint32_t t : gaps) {
    prticks = t;
    std::fill(buf.begin(), buf.end(), 0);
    TextScript1(buf.data());
    EXPECT_FALSE(LitArea(buf).any) << t;
  }
}

TEST_F(Scripts, CreditsSwayWithAndAgainstTheWave) {
  LoadSolidFont();
  std::vector<uint16_t> buf(kPixels, 0);
  xadj = 5;
  prticks = 41001;  // "Code", x = trunc(w) + xadj - 128; not a multiple of 4, so no new jitter
  TextScript1(buf.data());
  auto w = static_cast<float>(160 + 32 * std::sin(41001 / 256.0));
  int x = static_cast<int>(w) + 5 - 128;
  Lit lit = LitArea(buf);
  EXPECT_EQ(xadj, 5);
  EXPECT_EQ(yadj, 0);
  EXPECT_LE(std::abs(lit.left - std::max(x, 0)), 4);  // a character wobbles by up to 4 pixels
  EXPECT_LE(std::abs(lit.top - 24), 6);

  std::fill(buf.begin(), buf.end(), 0);
  prticks = 46001;  // "Music", x = trunc(xadj + 196 - w)
  TextScript1(buf.data());
  w = static_cast<float>(160 + 32 * std::sin(46001 / 256.0));
  x = static_cast<int>(static_cast<float>(5 + 196) - w);
  lit = LitArea(buf);
  EXPECT_LE(std::abs(lit.left - x), 4);
  EXPECT_LE(std::abs(lit.top - 200), 6);
}

TEST_F(Scripts, JitterTakesTwoRandomNumbersEveryFourthMillisecond) {
  std::vector<uint16_t> buf(kPixels, 0);
  yadj = 1000;
  uint32_t saved = randstate;
  int first = DemoRand(), second = DemoRand();
  randstate = saved;
  prticks = 50000;
  TextScript1(buf.data());
  EXPECT_EQ(yadj, 1000 + 64 + first % 64);
  EXPECT_EQ(xadj, static_cast<int>(16 * std::sin(static_cast<double>(second))));
  EXPECT_LE(std::abs(xadj), 15);

  int x = xadj, y = yadj;
  saved = randstate;
  prticks = 50001;
  TextScript1(buf.data());
  EXPECT_EQ(xadj, x);
  EXPECT_EQ(yadj, y);
  EXPECT_EQ(randstate, saved);
}

TEST(FlipBitmap, TransposesEveryValueWhole) {
  std::vector<uint16_t> src(kPixels), dst(kPixels);
  for (int i = 0; i < kPixels; ++i) src[i] = static_cast<uint16_t>(i * 40503u);
  FlipBitmap(src.data(), dst.data());
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) ASSERT_EQ(dst[x * kHeight + y], src[y * kWidth + x]);
}

TEST_F(Scripts, FrameCounterUpdatesOncePerSecond) {
  SetVirtualTicks(1500);
  nfrm = 50;
  CountFps();
  EXPECT_EQ(fps, 50);
  EXPECT_EQ(std::string(sbuffer), "  50  ");
  SetVirtualTicks(2499);
  nfrm = 90;
  CountFps();
  EXPECT_EQ(fps, 50);
  SetVirtualTicks(2500);
  CountFps();
  EXPECT_EQ(fps, 40);
  EXPECT_EQ(pfrm, 90u);
  EXPECT_EQ(atime, 2500u);
}

}  // namespace
