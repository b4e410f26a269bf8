// The timeline frame by frame: crossfade levels at the window edges, transitions that a slow
// frame cannot skip, the hand-over from part 4 to part 3, and Escape in every part.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "effects/effects.h"
#include "engine3d/engine3d.h"
#include "platform/demo.h"
#include "platform/platform.h"
#include "precalc/precalc.h"
#include "show/headless.h"
#include "show/script.h"

namespace {

std::vector<uint16_t> Frame() { return std::vector<uint16_t>(vram, vram + kPixels); }

class Timeline : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_STREQ(StartHeadlessDemo(), nullptr);
    start = VirtualTicks();
  }
  void SetUp() override {
    SetVirtualTicks(start);
    quit = 0;
  }
  // Draws one frame of `p` at part clock t.
  static void DrawAt(int p, uint32_t t) {
    part = p;
    partime = VirtualTicks() - t;
    Parts();
  }
  static uint32_t start;
};
uint32_t Timeline::start = 0;

std::vector<uint16_t> PolarOverRotozoomer(int level) {
  static uint16_t polar[kPixels], roto[kPixels], out[kPixels];
  Polar(polar, shades);
  RotozoomerNearest(roto, static_cast<float>(4096 * std::sin(prfrm / 640.0)),
                    static_cast<float>(0.2 + 0.15 * std::sin(prfrm / 64.0)));
  Crossfade(out, polar, roto, level);
  return std::vector<uint16_t>(out, out + kPixels);
}

TEST_F(Timeline, PartTwoCrossfadesFromPolarToRotozoomerOverItsLastWindow) {
  prfrm = 77;
  DrawAt(2, 20480);
  EXPECT_EQ(Frame(), PolarOverRotozoomer(255));
  DrawAt(2, 24575);
  EXPECT_EQ(Frame(), PolarOverRotozoomer(0));
  EXPECT_EQ(part, 2);
}

// Part 3's change-over: part 4's look (plasma through the stars) crossfades into the stars
// through shade row 1.
std::vector<uint16_t> StarsOverPlasma(uint32_t t, int level) {
  static uint16_t grad[kPixels], plasma[kPixels], stars[kPixels], out[kPixels];
  prticks = t;
  ClearScreen(grad);
  RunScene3d(grad, 2);
  ColorPlasma(plasma);
  CrossfadeToColorTable(plasma, plasma, 0, 0, 0, grad);
  ShowGradBuffer(stars, grad, shades + 256);
  Crossfade(out, plasma, stars, level);
  return std::vector<uint16_t>(out, out + kPixels);
}

TEST_F(Timeline, PartThreeCrossfadesFromPartFoursLookOverItsFirstWindow) {
  prfrm = 12;
  DrawAt(3, 20480);
  EXPECT_EQ(Frame(), StarsOverPlasma(20480, 255));
  DrawAt(3, 24575);
  EXPECT_EQ(Frame(), StarsOverPlasma(24575, 0));
  EXPECT_EQ(part, 3);
}

TEST_F(Timeline, PartFourDrawsItsLastFrameThenHandsOverWithoutRestartingTheClock) {
  DrawAt(4, 20480);
  EXPECT_EQ(part, 3);
  bool plasma_shows = false;
  for (int i = 0; i < kPixels && !plasma_shows; ++i) plasma_shows = vram[i] != 0;
  EXPECT_TRUE(plasma_shows) << "part 4's picture: plasma through the sine wipe";
  EXPECT_EQ(partime, VirtualTicks() - 20480) << "parts 4, 3 and 7 share one clock";
}

TEST_F(Timeline, ASlowFrameSkipsAWindowButNeverATransition) {
  // Part 0 jumps over its white-out window straight to the hand-over.
  DrawAt(0, 40000);
  EXPECT_EQ(part, 1);
  EXPECT_EQ(prfrm, 0u);
  for (int i = 0; i < kPixels; ++i) ASSERT_EQ(vram[i], 0xFFFF) << "the hand-over frame is white";
  // Part 1 far past its end still hands over to part 4 and restarts the clock.
  DrawAt(1, 90000);
  EXPECT_EQ(part, 4);
  EXPECT_EQ(partime, VirtualTicks());
  // Part 7 past its end sets quit, with a black screen.
  DrawAt(7, 99999);
  EXPECT_EQ(quit, 1);
  for (int i = 0; i < kPixels; ++i) ASSERT_EQ(vram[i], 0) << "black after 81920";
}

TEST_F(Timeline, PartTwosHandOverFrameLeavesThePictureAlone) {
  std::memset(vram, 0x5A, sizeof vram);
  std::vector<uint16_t> before = Frame();
  DrawAt(2, 24576);
  EXPECT_EQ(Frame(), before);
  EXPECT_EQ(part, 0);
}

TEST_F(Timeline, EscapeInAnyPartEndsAfterTheCurrentFrame) {
  for (int p : {6, 2, 0, 1, 4, 3, 7}) {
    quit = 0;
    part = p;
    partime = VirtualTicks() - 5000;
    uint32_t frames = nfrm;
    QueueHeadlessQuit();
    Script();
    EXPECT_EQ(quit, 1) << "part " << p;
    EXPECT_EQ(nfrm, frames + 1) << "part " << p;
  }
}

}  // namespace
