// The 3D scenes: placement by the part clock, the mirror texture that carries one frame into the
// next, and the depth buffer left clear.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine3d/engine3d.h"
#include "platform/demo.h"
#include "platform/platform.h"
#include "precalc/precalc.h"
#include "render3d/render3d.h"
#include "show/scenes.h"

namespace {

class Scenes : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    UseHeadlessPlatform();
    SetColors();
    PrecDivs();
    Init3d();
  }
  void SetUp() override {
    buffer.assign(kPixels, 0x1234);
    std::fill(std::begin(mirror), std::end(mirror), 0);
    ClearZbuffer();
  }
  std::vector<uint16_t> buffer;
};

TEST_F(Scenes, BilinearCubeRisesFromBelowAndRecedesAtTheEnd) {
  prticks = 1024;  // its first frame in the timeline
  RunScene3d(buffer.data(), 0);
  EXPECT_FLOAT_EQ(object[1].pos_y, 384.0f);
  EXPECT_FLOAT_EQ(object[1].pos_z, static_cast<float>(72 + 8 * std::sin(1024 / 768.0)));
  prticks = 4096;
  RunScene3d(buffer.data(), 0);
  EXPECT_EQ(object[1].pos_y, 0.0f);
  EXPECT_NE(buffer[120 * kWidth + 160], 0x1234) << "the cube covers the centre";
  prticks = 22528;
  RunScene3d(buffer.data(), 0);
  EXPECT_FLOAT_EQ(object[1].pos_z,
                  static_cast<float>(72 + 8 * std::sin(22528 / 768.0)) + 1024.0f);
}

TEST_F(Scenes, MirrorCubeShowsThePreviousFrame) {
  prticks = 0;
  RunScene3d(buffer.data(), 1);
  // The texture starts black, so the first cube is black where it covers the centre.
  EXPECT_EQ(buffer[120 * kWidth + 160], 0);
  // The frame, cube included, becomes the next frame's texture; its edges stay black.
  for (int y : {0, 100, 238})
    for (int x : {40, 160, 279}) EXPECT_EQ(mirror[y * 256 + x - 32], buffer[y * kWidth + x]);
  EXPECT_EQ(mirror[10 * 256 + 3], 0);
  EXPECT_EQ(mirror[10 * 256 + 250], 0);
  EXPECT_EQ(mirror[239 * 256 + 100], 0);
  // Whatever the texture holds shows on the next frame's cube.
  std::fill(mirror, mirror + 65536, 0x07E0);
  RunScene3d(buffer.data(), 1);
  EXPECT_EQ(buffer[120 * kWidth + 160], 0x07E0);
}

TEST_F(Scenes, MirrorCubeDepthCarriesOnSmoothlyAt16384) {
  prticks = 16383;
  RunScene3d(buffer.data(), 1);
  float before = object[0].pos_z;
  prticks = 16384;
  RunScene3d(buffer.data(), 1);
  EXPECT_EQ(object[0].pos_y, 0.0f);
  EXPECT_FLOAT_EQ(object[0].pos_z, static_cast<float>(std::sin(16384 / 384.0) * 32 + 256));
  EXPECT_NEAR(object[0].pos_z, before, 0.1f);
  prticks = 20384;
  RunScene3d(buffer.data(), 1);
  EXPECT_FLOAT_EQ(object[0].pos_y, -1000.0f);
}

TEST_F(Scenes, StarsStartUnrotatedOnTheirPathAndLeaveTheDepthBufferClear) {
  prticks = 0;
  RunScene3d(buffer.data(), 2);
  const Object3d& star = object[2];  // holds the last of the sixteen
  EXPECT_EQ(star.rot_x, 0.0f);
  EXPECT_EQ(star.rot_y, 0.0f);
  EXPECT_EQ(star.rot_z, 0.0f);
  EXPECT_FLOAT_EQ(star.pos_x, static_cast<float>(96 * std::sin(static_cast<double>(240.0f / 45))));
  EXPECT_FLOAT_EQ(star.pos_y, static_cast<float>(64 * std::sin(static_cast<double>(240.0f / 35))));
  EXPECT_FLOAT_EQ(star.pos_z, static_cast<float>(256 * std::sin(static_cast<double>(240.0f / 128)) + 384));
  for (uint32_t z : zbuffer) ASSERT_EQ(z, 0xFFFFFFFFu);
  int drawn = 0;
  for (uint16_t p : buffer) drawn += p != 0x1234;
  EXPECT_GT(drawn, 100) << "the stars write their shades";
}

TEST_F(Scenes, UnknownScenesAndTheEmptyHeadDrawNothing) {
  zbuffer[0] = 5;
  for (int scene : {4, -1}) RunScene3d(buffer.data(), scene);
  EXPECT_EQ(zbuffer[0], 5u) << "no clear for a scene that does not exist";
  RunScene3d(buffer.data(), 3);
  EXPECT_EQ(zbuffer[0], 0xFFFFFFFFu) << "the head scene clears after drawing";
  for (uint16_t p : buffer) ASSERT_EQ(p, 0x1234);
}

}  // namespace
