// The blob stamp's placement, clipping and saturation, the bilinear stamp's border, and the
// 3D star field's respawn.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "effects/effects.h"
#include "platform/demo.h"
#include "precalc/precalc.h"

namespace {

class Blobs : public ::testing::Test {
 protected:
  void SetUp() override {
    InitBlob();
    buf.assign(kPixels, 0);
  }
  // Replaces the sprite by a flat one, so that every covered pixel shows.
  void FlatSprite(uint8_t value) { std::memset(blob, value, sizeof blob); }
  uint16_t at(int x, int y) const { return buf[y * kWidth + x]; }
  int Covered() const {
    return static_cast<int>(std::count_if(buf.begin(), buf.end(), [](uint16_t p) { return p != 0; }));
  }
  // The smallest rectangle holding every non-zero pixel: {left, top, right, bottom}.
  std::vector<int> Bounds() const {
    int l = kWidth, t = kHeight, r = -1, b = -1;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        if (at(x, y)) l = std::min(l, x), t = std::min(t, y), r = std::max(r, x), b = std::max(b, y);
    return {l, t, r, b};
  }
  std::vector<uint16_t> buf;
};

TEST_F(Blobs, ZoomOneAtTheCentreCopiesTheSprite) {
  for (int bilinear : {0, 1}) {
    buf.assign(kPixels, 0);
    drawZoomBlob(160, 120, 1.0, bilinear, buf.data());
    EXPECT_EQ(at(160, 120), 255);
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        bool inside = x >= 128 && x <= 191 && y >= 88 && y <= 151;
        ASSERT_EQ(at(x, y), inside ? blob[(y - 88) * 64 + (x - 128)] : 0) << x << "," << y;
      }
  }
  FlatSprite(1);
  buf.assign(kPixels, 0);
  drawZoomBlob(160, 120, 1.0, 0, buf.data());
  EXPECT_EQ(Bounds(), (std::vector<int>{128, 88, 191, 151}));
}

TEST_F(Blobs, ZoomZeroOrBelowDrawsNothing) {
  FlatSprite(9);
  for (double zoom : {0.0, -1e-9, -1.0}) {
    drawZoomBlob(160, 120, zoom, 0, buf.data());
    drawZoomBlob(160, 120, zoom, 1, buf.data());
  }
  EXPECT_EQ(Covered(), 0);
  drawZoomBlob(160, 120, 1.0 / 128, 0, buf.data());  // n = trunc(-0.5) = 0: one pixel
  EXPECT_EQ(Covered(), 1);
  EXPECT_EQ(at(159, 119), 9);
}

TEST_F(Blobs, CornerBlobShowsItsBottomRightQuarter) {
  drawZoomBlobNearest(0, 0, 1.0, buf.data());
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      ASSERT_EQ(at(x, y), x < 32 && y < 32 ? blob[(32 + y) * 64 + 32 + x] : 0) << x << "," << y;
  EXPECT_EQ(at(0, 0), 255);
}

TEST_F(Blobs, OffScreenBlobsAreRejectedAndEdgeBlobsClipped) {
  FlatSprite(1);
  drawZoomBlob(352, 120, 1.0, 0, buf.data());   // corner at x0 = 320
  drawZoomBlob(-32, 120, 1.0, 1, buf.data());   // corner at x0 = -64
  drawZoomBlob(160, 272, 1.0, 0, buf.data());   // corner at y0 = 240
  drawZoomBlob(160, -32, 1.0, 1, buf.data());   // corner at y0 = -64
  drawZoomBlob(100000, -100000, 3.0, 0, buf.data());
  EXPECT_EQ(Covered(), 0);

  drawZoomBlob(351, 120, 1.0, 0, buf.data());  // only screen column 319
  EXPECT_EQ(Bounds(), (std::vector<int>{319, 88, 319, 151}));
  buf.assign(kPixels, 0);
  drawZoomBlob(-31, 271, 1.0, 0, buf.data());  // only the bottom-left pixel
  EXPECT_EQ(Bounds(), (std::vector<int>{0, 239, 0, 239}));
}

TEST_F(Blobs, BigBlobsClipToTheScreenAndToTheSprite) {
  FlatSprite(1);
  drawZoomBlob(160, 120, 32.0, 1, buf.data());  // the reveal of part 1: covers the screen
  EXPECT_EQ(Covered(), kPixels);

  // Corner at (-92, -132), 384 pixels wide: cut at the left and top by the screen, the sprite
  // itself ends at column 291 and row 251, inside the screen on the right.
  buf.assign(kPixels, 0);
  drawZoomBlob(100, 60, 6.0, 0, buf.data());
  EXPECT_EQ(Bounds(), (std::vector<int>{0, 0, 291, 239}));
  buf.assign(kPixels, 0);
  drawZoomBlob(60, 100, 6.0, 0, buf.data());
  EXPECT_EQ(Bounds(), (std::vector<int>{0, 0, 251, 239}));
}

TEST_F(Blobs, NoStampWritesOutsideTheBuffer) {
  // Guard bands on both sides of the buffer; the sanitizer build also watches the sprite reads.
  std::vector<uint16_t> guarded(kPixels + 2 * 4096, 0);
  uint16_t* screen = guarded.data() + 4096;
  uint32_t seed = 99;
  auto next = [&seed](int range) {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<int>((seed >> 8) % static_cast<uint32_t>(range));
  };
  const double zooms[] = {0.02, 0.33, 1.0, 1.7, 4.0, 6.0, 31.9, 1e6};
  for (int k = 0; k < 4000; ++k) {
    int x = next(1400) - 700, y = next(1200) - 600;
    drawZoomBlob(x, y, zooms[k % 8] * (1 + next(100) / 100.0), k & 1, screen);
  }
  EXPECT_TRUE(std::all_of(guarded.begin(), guarded.begin() + 4096, [](uint16_t p) { return p == 0; }));
  EXPECT_TRUE(std::all_of(guarded.end() - 4096, guarded.end(), [](uint16_t p) { return p == 0; }));
  EXPECT_TRUE(std::all_of(screen, screen + kPixels, [](uint16_t p) { return p <= 255; }));
}

TEST_F(Blobs, StampsSaturateAt255) {
  drawZoomBlob(160, 120, 1.0, 0, buf.data());
  drawZoomBlob(160, 120, 1.0, 1, buf.data());
  EXPECT_EQ(at(160, 120), 255);
  EXPECT_EQ(at(169, 120), 255);                 // 159 + 159
  EXPECT_EQ(at(128, 120), 2 * blob[32 * 64]);  // 1 + 1
  buf.assign(kPixels, 200);
  drawZoomBlob(160, 120, 1.0, 0, buf.data());
  EXPECT_EQ(at(160, 120), 255);
  EXPECT_EQ(at(0, 0), 200);
}

TEST_F(Blobs, BilinearSamplesPastTheSpriteCountAsZero) {
  // Zoom 2: screen column 96 + i reads sprite column i / 2, half way to the next one when i
  // is odd. The last column and row blend the flat 255 with the zeros outside.
  FlatSprite(255);
  drawZoomBlobBilinear(160, 120, 2.0, buf.data());
  EXPECT_EQ(Bounds(), (std::vector<int>{96, 56, 223, 183}));
  EXPECT_EQ(at(222, 100), 255);
  EXPECT_EQ(at(223, 100), 127);  // 255 + floor(-255 / 2)
  EXPECT_EQ(at(100, 183), 127);
  EXPECT_EQ(at(223, 183), 63);   // 127 + floor(-127 / 2)
}

TEST(Galaxy, FirstBlobSitsAboveTheCentreAndDistantGalaxiesVanish) {
  InitBlob();
  std::vector<uint16_t> a(kPixels, 0), b(kPixels, 0);
  prticks = 60000;
  Galaxy(a.data(), 0, 0.0f);
  Galaxy(b.data(), 0, 0.0f);
  EXPECT_EQ(a, b);  // a pure function of the clock
  // Blob 0 has X = 0, Y = -24, D = 192 at every moment: centre (160, 88), zoom 0.3177.
  EXPECT_GT(a[88 * kWidth + 160], 0);

  // Every blob lies at depth 5192 - 89 or more, beyond the spawn depth: zoom below 0.
  std::fill(a.begin(), a.end(), 0);
  Galaxy(a.data(), 1, 5000.0f);
  EXPECT_TRUE(std::all_of(a.begin(), a.end(), [](uint16_t p) { return p == 0; }));
}

class Stars3d : public ::testing::Test {
 protected:
  void SetUp() override {
    InitBlob();
    scsize = 64;
    starfar = 4096;
    // Every star waits motionless at the spawn depth, where it is invisible.
    std::fill(std::begin(star3dx), std::end(star3dx), 0.0f);
    std::fill(std::begin(star3dy), std::end(star3dy), 0.0f);
    std::fill(std::begin(star3dz), std::end(star3dz), 4096.0f);
    std::fill(std::begin(star3dv), std::end(star3dv), 0.0f);
    buf.assign(kPixels, 0);
  }
  std::vector<uint16_t> buf;
};

TEST_F(Stars3d, AStarPassingDepth16IsDrawnThenRespawned) {
  star3dz[7] = 20.0f;
  star3dv[7] = 4.1f;  // the new depth 15.9 lies below 16
  star3dz[8] = 20.0f;
  star3dv[8] = 4.0f;  // exactly 16 is still in flight
  BlobStars3d(buf.data(), 0);
  EXPECT_EQ(buf[120 * kWidth + 160], 255);  // both drawn at the centre at zoom 0.33 first
  EXPECT_EQ(star3dz[7], 4096.0f);
  EXPECT_GE(star3dx[7], -32.0f);
  EXPECT_LT(star3dx[7], 32.0f);
  EXPECT_GE(star3dy[7], -32.0f);
  EXPECT_LT(star3dy[7], 32.0f);
  EXPECT_GE(star3dv[7], 4.0f);
  EXPECT_LE(star3dv[7], 11.0f);
  EXPECT_EQ(star3dv[7], static_cast<float>(static_cast<int>(star3dv[7])));  // whole steps
  EXPECT_EQ(star3dz[8], 16.0f);
  EXPECT_EQ(star3dz[0], 4096.0f);

  // At the spawn depth the zoom is 0: the next call draws nothing of star 7.
  star3dz[8] = 4096.0f;
  star3dv[7] = 0.0f;
  std::fill(buf.begin(), buf.end(), 0);
  BlobStars3d(buf.data(), 1);
  EXPECT_TRUE(std::all_of(buf.begin(), buf.end(), [](uint16_t p) { return p == 0; }));
}

TEST_F(Stars3d, StarsProjectAroundTheCentre) {
  // x = 40 at depth 1024: 40 * 256 / 1024 + 160 = 170; zoom (4096 - 1024) / 12288 = 0.25.
  star3dx[0] = 40.0f;
  star3dz[0] = 1024.0f;
  star3dv[0] = 1.0f;
  BlobStars3d(buf.data(), 0);
  EXPECT_EQ(buf[120 * kWidth + 170], 255);
  EXPECT_EQ(buf[120 * kWidth + 161], 0);  // the 16-pixel stamp covers columns 162 to 177
  EXPECT_EQ(buf[120 * kWidth + 162], 1);  // sprite column 0 on the centre line
  EXPECT_EQ(star3dz[0], 1023.0f);
}

}  // namespace
