// The loading screen: the filtered rotozoomer's sampling, threshold and row noise, the frame
// count of the table builds, and the hand-over to the fade at the end of start-up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/demo.h"
#include "platform/platform.h"
#include "precalc/precalc.h"
#include "show/loading.h"
#include "show/script.h"

namespace {

uint16_t Grey(int v) { return static_cast<uint16_t>(((v >> 3) << 11) | ((v >> 2) << 5) | (v >> 3)); }

uint16_t out[kPixels];
uint8_t bitmap[16384];

// A bitmap whose level grows by one per column (100 .. 227) and is the same on every row, so
// that each pixel's level tells which column, and which fraction of it, was sampled.
void FillColumnRamp() {
  for (int row = 0; row < 128; ++row)
    for (int column = 0; column < 128; ++column) bitmap[row * 128 + column] = static_cast<uint8_t>(100 + column);
}

TEST(RotozoomerFiltered, FirstFrameMagnifiesFromTheBitmapCentre) {
  FillColumnRamp();
  RotozoomerFiltered(out, bitmap, 0.0f, 0.25f);
  // Pixel x samples column 64 + (x + 1) / 4: the fraction adds (1 x fu) >> 16 = 0.
  EXPECT_EQ(out[0], Grey(164));             // texel (64.25, 64.25)
  EXPECT_EQ(out[2], Grey(164));             // 64.75
  EXPECT_EQ(out[3], Grey(165));             // 65.0
  EXPECT_EQ(out[239 * kWidth + 3], Grey(165));
  // Past column 126 every sample comes from cell 126 (texel (144.0, 124.0) at the far corner).
  EXPECT_EQ(out[247], Grey(226));           // 126.0
  EXPECT_EQ(out[251], Grey(226));           // 127.0, clamped
  EXPECT_EQ(out[239 * kWidth + 319], Grey(226));
}

TEST(RotozoomerFiltered, InterpolatesBetweenNeighbours) {
  std::memset(bitmap, 0, sizeof bitmap);
  // A 2 x 2 cell at the bitmap centre: 60 left, 160 right on the top row; 220 and 252 below.
  bitmap[64 * 128 + 64] = 60;
  bitmap[64 * 128 + 65] = 160;
  bitmap[65 * 128 + 64] = 220;
  bitmap[65 * 128 + 65] = 252;
  RotozoomerFiltered(out, bitmap, 0.0f, 0.25f);
  // (64.25, 64.25): top 60 + 100/4 = 85, bottom 220 + 32/4 = 228, value 85 + 143/4 = 120.
  EXPECT_EQ(out[0], Grey(120));
  // (64.5, 64.25): top 110, bottom 236, value 110 + 126/4 = 141.
  EXPECT_EQ(out[1], Grey(141));
  // (64.25, 64.5): top 85, bottom 228, value 85 + 143/2 = 156.
  EXPECT_EQ(out[kWidth], Grey(156));
}

TEST(RotozoomerFiltered, NegativeProductsAreFloored) {
  std::memset(bitmap, 0, sizeof bitmap);
  bitmap[64 * 128 + 64] = 101;  // the other three corners of the cell are 0
  RotozoomerFiltered(out, bitmap, 0.0f, 0.25f);
  // top = 101 - 26 = 75 (the product -1654784 >> 16 is -26, not -25); bottom 0;
  // value = 75 + floor(-75 / 4) = 75 - 19 = 56.
  EXPECT_EQ(out[0], Grey(56));
}

TEST(RotozoomerFiltered, NegativeCoordinatesStickToTheLastCell) {
  FillColumnRamp();
  // Half a turn: the columns run backwards from 64 and go negative after 256 pixels.
  RotozoomerFiltered(out, bitmap, static_cast<float>(180 * 3.14151693 * 3.14159265), 0.25f);
  EXPECT_EQ(out[100], Grey(138));  // about column 38.75
  EXPECT_EQ(out[300], Grey(226));  // column -11: huge as unsigned, clamped to 126
}

TEST(RotozoomerFiltered, ThresholdAndOneNoiseColourPerRow) {
  std::fill(bitmap, bitmap + 16384, 49);
  RotozoomerFiltered(out, bitmap, 0.0f, 0.25f);
  EXPECT_TRUE(std::all_of(out, out + kPixels, [](uint16_t p) { return p == Grey(49); }));

  std::fill(bitmap, bitmap + 16384, 48);
  randstate = 99;
  RotozoomerFiltered(out, bitmap, 0.0f, 0.25f);
  int next_after_frame = DemoRand();
  randstate = 99;
  for (int y = 0; y < kHeight; ++y) {
    uint16_t blue = static_cast<uint16_t>(DemoRand() & 31);
    const uint16_t* row = out + y * kWidth;
    ASSERT_TRUE(std::all_of(row, row + kWidth, [blue](uint16_t p) { return p == blue; })) << y;
  }
  EXPECT_EQ(DemoRand(), next_after_frame);  // exactly 240 numbers per frame
}

// Counts the presented frames and the value of `more` at each.
struct FrameLog {
  std::vector<int> more_at_frame;
  std::vector<uint16_t> last;
};

void LogFrame(const uint16_t* frame, uint32_t, void* user) {
  auto* log = static_cast<FrameLog*>(user);
  log->more_at_frame.push_back(more);
  log->last.assign(frame, frame + kPixels);
}

class Loading : public ::testing::Test {
 protected:
  void SetUp() override {
    UseHeadlessPlatform();
    ResetDemoState();
    more = 0;
    loading_frame = Frondle;  // as the start-up sets it
    SetFrameHook(LogFrame, &log);
  }
  void TearDown() override {
    SetFrameHook(nullptr, nullptr);
    loading_frame = nullptr;
  }
  FrameLog log;
};

TEST_F(Loading, EachBuilderShowsItsFrames) {
  struct Step { void (*build)(); size_t frames; };
  const Step steps[] = {{Frondle, 4},     {SinePrecs, 20},     {PrecDivs, 4},     {PlasmaInit, 4},
                        {PolarInit, 32},  {RotoBitmapInit, 4}, {InitBlob, 0},     {Stars2dInit, 0},
                        {Stars3dInit, 0}, {initFrondle, 0}};
  for (const Step& step : steps) {
    log.more_at_frame.clear();
    step.build();
    EXPECT_EQ(log.more_at_frame.size(), step.frames);
  }
}

TEST_F(Loading, EffectsInitShowsSixtyEightPacedFrames) {
  uint32_t start = VirtualTicks();
  EffectsInit();
  ASSERT_EQ(log.more_at_frame.size(), 68u);
  for (int i = 0; i < 68; ++i) EXPECT_EQ(log.more_at_frame[i], i);
  EXPECT_EQ(more, 68);
  EXPECT_GE(VirtualTicks() - start, 67u * 20u);
  EXPECT_EQ(0, std::memcmp(vram, screen1, sizeof vram));  // the last frame is on the surface
}

bool FontsAvailable() {
  FILE* f = std::fopen("fonts16.bin", "rb");
  if (f) std::fclose(f);
  return f != nullptr;
}

TEST_F(Loading, StartUpEndsOnBlackWithTheLastLoadingFrameKept) {
  if (!FontsAvailable()) GTEST_SKIP() << "fonts16.bin is made by the build in its folder";
  // Keep the last loading frame as it was presented, before the fade frames replace it.
  struct Capture {
    int frames = 0;
    std::vector<uint16_t> loading_end, fade_first;
  } capture;
  SetFrameHook(
      [](const uint16_t* frame, uint32_t, void* user) {
        auto* c = static_cast<Capture*>(user);
        ++c->frames;
        if (c->frames == 68) c->loading_end.assign(frame, frame + kPixels);
        if (c->frames == 69) c->fade_first.assign(frame, frame + kPixels);
      },
      &capture);
  ASSERT_STREQ(precalcs(), nullptr);
  EXPECT_EQ(capture.frames, 68 + 256);
  EXPECT_EQ(more, 68);
  ASSERT_EQ(capture.loading_end.size(), static_cast<size_t>(kPixels));
  EXPECT_EQ(0, std::memcmp(screen2, capture.loading_end.data(), sizeof screen2));
  EXPECT_TRUE(std::all_of(vram, vram + kPixels, [](uint16_t p) { return p == 0; }));
  // The fade starts from the picture at full level; the text is printed in the loading frame.
  EXPECT_NE(capture.fade_first, std::vector<uint16_t>(kPixels, 0));
  // Noise is pure blue and the logo pure grey; the green-teal letters are neither.
  int letter_pixels = 0;
  for (int y = 216; y < 232; ++y) {
    for (int x = 136; x < 312; ++x) {
      uint16_t p = screen2[y * kWidth + x];
      letter_pixels += p > 31 && (p >> 11) != (p & 31);
    }
  }
  EXPECT_GT(letter_pixels, 200);
}

}  // namespace
