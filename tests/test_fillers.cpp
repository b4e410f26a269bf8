// The triangle walk and its fill kinds, lines, points and the two function fillers, checked
// pixel by pixel against cases worked out by hand from the walk rules.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "engine3d/engine3d.h"
#include "platform/demo.h"
#include "precalc/precalc.h"
#include "render3d/fillers.h"
#include "render3d/render3d.h"

namespace {

constexpr uint16_t kInk = 0xABCD;
using Pixel = std::pair<int, int>;  // (x, y)

class Fill : public ::testing::Test {
 protected:
  void SetUp() override {
    PrecDivs();
    ClearZbuffer();
    frame.assign(kPixels, 0);
    texture.assign(65536, kInk);
  }

  static void Corner(int p, int32_t x, int32_t y, int32_t z = 0, uint16_t shade = 0) {
    spts[p] = {x, y, shade};
    fpts[p] = {0, 0, z};
  }

  static Polygon3d Tri(int32_t tu0 = 0, int32_t tv0 = 0, int32_t tu1 = 0, int32_t tv1 = 0,
                       int32_t tu2 = 0, int32_t tv2 = 0) {
    return {0, tu0, tv0, 1, tu1, tv1, 2, tu2, tv2, 0, 0};
  }

  void Draw(FillKind kind, const Polygon3d& poly = Tri(), uint16_t colour = kInk) {
    FillTriangle(kind, poly, FillSource{colour, texture.data()}, frame.data());
  }

  std::set<Pixel> Written() const {
    std::set<Pixel> out;
    for (int i = 0; i < kPixels; ++i)
      if (frame[i]) out.insert({i % kWidth, i / kWidth});
    return out;
  }

  static std::set<Pixel> Row(int y, int x0, int x1) {  // x0 .. x1 - 1
    std::set<Pixel> out;
    for (int x = x0; x < x1; ++x) out.insert({x, y});
    return out;
  }

  uint16_t At(int x, int y) const { return frame[y * kWidth + x]; }

  std::vector<uint16_t> frame;
  std::vector<uint16_t> texture;
};

std::set<Pixel> Union(std::initializer_list<std::set<Pixel>> parts) {
  std::set<Pixel> out;
  for (const auto& p : parts) out.insert(p.begin(), p.end());
  return out;
}

TEST_F(Fill, FlatToppedTriangleStartsOneRowBelowBetweenItsTopCorners) {
  // Lower part only: short edge from (20,10) with step -256, long edge fixed at x 10.
  Corner(0, 10, 10), Corner(1, 20, 10), Corner(2, 10, 20);
  Draw(FillKind::Flat);
  std::set<Pixel> want;
  for (int k = 0; k < 10; ++k) want = Union({want, Row(11 + k, 10, 20 - k)});
  EXPECT_EQ(Written(), want);
}

TEST_F(Fill, FlatBottomedTriangleEndsInTheRowOfItsBottomCorners) {
  // Upper part only; the long step 2560 * 6553 >> 16 = 255 falls just short of a pixel per row,
  // so row 11 + k reaches column 10 + k - 2.
  Corner(0, 10, 10), Corner(1, 10, 20), Corner(2, 20, 20);
  Draw(FillKind::Flat);
  std::set<Pixel> want;
  for (int k = 2; k < 10; ++k) want = Union({want, Row(11 + k, 10, 9 + k)});
  EXPECT_EQ(Written(), want);
}

TEST_F(Fill, SpansExcludeTheirRightEndAndEmptyOnesDrawNothing) {
  Corner(0, 10, 5), Corner(1, 13, 5), Corner(2, 10, 6);
  Draw(FillKind::Flat);
  EXPECT_EQ(Written(), Row(6, 10, 13));

  frame.assign(kPixels, 0);
  Corner(0, 10, 5), Corner(1, 40, 5), Corner(2, 70, 5);  // one row: nothing
  Draw(FillKind::Flat);
  Corner(0, 10, 5), Corner(1, 10, 9), Corner(2, 10, 30);  // zero width everywhere
  Draw(FillKind::Flat);
  EXPECT_TRUE(Written().empty());
}

TEST_F(Fill, CornerOrderDoesNotChangeThePicture) {
  Corner(0, 30, 40), Corner(1, 90, 70), Corner(2, 20, 100);
  Draw(FillKind::Flat);
  const auto first = Written();
  const int orders[][3] = {{1, 0, 2}, {2, 1, 0}, {1, 2, 0}};
  for (const auto& o : orders) {
    frame.assign(kPixels, 0);
    Draw(FillKind::Flat, Polygon3d{o[0], 0, 0, o[1], 0, 0, o[2], 0, 0, 0, 0});
    EXPECT_EQ(Written(), first);
  }
  EXPECT_GT(first.size(), 1000u);
}

TEST_F(Fill, RightEdgeIsDroppedByColumnKindsAndWrapsForIndexOnlyKinds) {
  Corner(0, 315, 50, 100), Corner(1, 325, 50, 100), Corner(2, 315, 51, 100);
  for (FillKind kind : {FillKind::Flat, FillKind::ShadeRaw, FillKind::ShadeRowDepth,
                        FillKind::ShadeRawDepth}) {
    frame.assign(kPixels, 0);
    ClearZbuffer();
    Corner(0, 315, 50, 100, 7), Corner(1, 325, 50, 100, 7), Corner(2, 315, 51, 100, 7);
    Draw(kind);
    EXPECT_EQ(Written(), Row(51, 315, 320)) << static_cast<int>(kind);
  }
  for (FillKind kind : {FillKind::FlatDepth, FillKind::Texture256, FillKind::EnvTextureDepth,
                        FillKind::EnvPointDepth}) {
    frame.assign(kPixels, 0);
    ClearZbuffer();
    Draw(kind);
    EXPECT_EQ(Written(), Union({Row(51, 315, 320), Row(52, 0, 5)})) << static_cast<int>(kind);
  }
}

TEST_F(Fill, RowsAboveAndBelowTheScreenAreDroppedPixelByPixel) {
  // One span in row -1 over columns 318..329: indices -2..9.
  Corner(0, 318, -2), Corner(1, 330, -2), Corner(2, 318, -1);
  Draw(FillKind::Flat);
  EXPECT_TRUE(Written().empty());
  Draw(FillKind::Texture256);
  EXPECT_EQ(Written(), Row(0, 0, 10));

  // One span in row 240 over columns -5..5: indices 76795..76805.
  frame.assign(kPixels, 0);
  Corner(0, -5, 239), Corner(1, 6, 239), Corner(2, -5, 240);
  Draw(FillKind::Flat);
  EXPECT_TRUE(Written().empty());
  Draw(FillKind::Texture256);
  EXPECT_EQ(Written(), Row(239, 315, 320));

  // A big triangle covering the screen and beyond in every direction fills it exactly once.
  frame.assign(kPixels, 0);
  Corner(0, -400, -300), Corner(1, 1400, -300), Corner(2, -400, 1200);
  Draw(FillKind::Flat);
  EXPECT_EQ(Written().size(), static_cast<size_t>(kPixels));
}

TEST_F(Fill, GouraudShadesStepAcrossTheSpanBeforeEachPixel) {
  // Flat-topped one-row triangle: left end shade 0 at x 10, right end shade 40 at x 14. The span
  // step is (40 * 256 * R(4)) >> 16 = 2560, so pixels carry 10, 20, 30, 40 (the right value).
  Corner(0, 10, 5, 0, 0), Corner(1, 14, 5, 0, 40), Corner(2, 10, 6, 0, 0);
  Draw(FillKind::ShadeRaw);
  EXPECT_EQ(At(10, 6), 10);
  EXPECT_EQ(At(11, 6), 20);
  EXPECT_EQ(At(13, 6), 40);
  EXPECT_EQ(At(14, 6), 0);

  std::vector<uint16_t> row(256);
  for (int i = 0; i < 256; ++i) row[i] = static_cast<uint16_t>(0x1000 + i);
  texture = row;
  frame.assign(kPixels, 0);
  Draw(FillKind::ShadeRow);
  EXPECT_EQ(At(10, 6), 0x1000 + 10);
  EXPECT_EQ(At(13, 6), 0x1000 + 40);
}

TEST_F(Fill, ExtremeShadeStepsStayInsideTheShadeRow) {
  // A jump of 255 shade units over one pixel overflows the step product; whatever the value,
  // the row lookup stays inside the row (checked by the sanitizer build) and shade 0 ends stay 0.
  std::vector<uint16_t> row(256, 0x2222);
  texture = row;
  Corner(0, 10, 5, 0, 0), Corner(1, 11, 5, 0, 255), Corner(2, 10, 6, 0, 255);
  Draw(FillKind::ShadeRow);
  Draw(FillKind::ShadeRowDepth);
  EXPECT_EQ(At(10, 6), 0x2222);
}

TEST_F(Fill, DepthTestIsStrictAndUnsigned) {
  Corner(0, 10, 5, 100), Corner(1, 14, 5, 100), Corner(2, 10, 6, 100);
  Draw(FillKind::FlatDepth, Tri(), 1);
  Draw(FillKind::FlatDepth, Tri(), 2);  // equal depth loses
  EXPECT_EQ(At(10, 6), 1);
  EXPECT_EQ(zbuffer[6 * kWidth + 10], 100u);
  Corner(0, 10, 5, 99), Corner(1, 14, 5, 99), Corner(2, 10, 6, 99);
  Draw(FillKind::FlatDepth, Tri(), 3);  // nearer wins
  EXPECT_EQ(At(10, 6), 3);
  Corner(0, 10, 5, -5), Corner(1, 14, 5, -5), Corner(2, 10, 6, -5);
  Draw(FillKind::FlatDepth, Tri(), 4);  // negative is far as an unsigned number
  EXPECT_EQ(At(10, 6), 3);

  ClearZbuffer();
  frame.assign(kPixels, 0);
  Corner(0, 10, 5, -1), Corner(1, 14, 5, -1), Corner(2, 10, 6, -1);
  Draw(FillKind::FlatDepth, Tri(), 5);  // -1 is the cleared value itself
  EXPECT_TRUE(Written().empty());
  Corner(0, 10, 5, -2), Corner(1, 14, 5, -2), Corner(2, 10, 6, -2);
  Draw(FillKind::FlatDepth, Tri(), 6);
  EXPECT_EQ(Written(), Row(6, 10, 14));
}

TEST_F(Fill, TextureKindsAddressTheirTexturesAsDocumented) {
  // A four-pixel span: its last pixel carries the right end's coordinates. (Over a single pixel
  // a change of 128 units or more would leave the 32-bit step product.)
  std::vector<uint16_t> tex(65536);
  for (int i = 0; i < 65536; ++i) tex[i] = static_cast<uint16_t>(i);
  texture = tex;
  Corner(0, 10, 5, 1), Corner(1, 14, 5, 1), Corner(2, 10, 6, 1);
  Draw(FillKind::Texture256, Tri(0, 0, 200, 100, 0, 0));
  EXPECT_EQ(At(13, 6), 100 * 256 + 200);
  EXPECT_EQ(At(10, 6), 25 * 256 + 50);

  frame.assign(kPixels, 0);
  ClearZbuffer();
  Draw(FillKind::EnvTextureDepth, Tri(0, 0, 200, 100, 0, 0));
  EXPECT_EQ(At(13, 6), (100 >> 2) * 64 + (200 >> 2));

  frame.assign(kPixels, 0);
  ClearZbuffer();
  point_tc[0] = {0, 0}, point_tc[1] = {255, 3}, point_tc[2] = {0, 0};
  Draw(FillKind::EnvPointDepth);
  EXPECT_EQ(At(13, 6), 0 * 64 + 63);
  EXPECT_EQ(At(10, 6), 0 * 64 + 15);  // 255 * 256 / 4 = 16320: texel column 15
}

TEST_F(Fill, FarCornerTrianglesReadNoTableOutOfBounds) {
  // A stale screen position far away: edges taller than the reciprocal table are not drawn.
  const FillKind kinds[] = {FillKind::Flat, FillKind::Texture256, FillKind::EnvPointDepth,
                            FillKind::ShadeRowDepth};
  for (FillKind kind : kinds) {
    Corner(0, 10, 10), Corner(1, 20, 100000), Corner(2, 30, 20);
    Draw(kind);
    Corner(0, 2147483647, -2147483647 - 1), Corner(1, -2147483647 - 1, 2147483647),
        Corner(2, 0, 0);
    Draw(kind);
  }
  EXPECT_TRUE(Written().empty());
  // Far only across: the walk's positions wrap, so what is drawn is not defined, but every span
  // wider than the table is skipped and nothing is read or written outside the buffers.
  for (FillKind kind : kinds) {
    Corner(0, 10, 10), Corner(1, -2000000000, 15), Corner(2, 30, 20);
    Draw(kind);
    Corner(0, 10, 10), Corner(1, 100000, 15), Corner(2, 30, 20);
    Draw(kind);
  }
}

class Lines : public Fill {
 protected:
  void Line(int32_t xa, int32_t ya, int32_t xb, int32_t yb) {
    spts[0] = {xa, ya, 0};
    spts[1] = {xb, yb, 0};
    const Line3d line{0, 1, 0x12345};
    DrawLines(&line, 1, frame.data());
  }
};

TEST_F(Lines, EndPointIsExcludedInBothDirections) {
  Line(10, 5, 14, 5);
  EXPECT_EQ(Written(), Row(5, 10, 14));
  EXPECT_EQ(At(10, 5), 0x2345);  // low 16 bits of the colour
  frame.assign(kPixels, 0);
  Line(14, 5, 10, 5);
  EXPECT_EQ(Written(), Row(5, 10, 14));
  frame.assign(kPixels, 0);
  Line(5, 13, 5, 10);
  EXPECT_EQ(Written(), (std::set<Pixel>{{5, 10}, {5, 11}, {5, 12}}));
}

TEST_F(Lines, SlopeStepIsAddedBeforeTheFirstPixel) {
  // slope = (2 << 12) * R(4) >> 16 = 2048: y accumulates 0.5, 1, 1.5, 2.
  Line(0, 0, 4, 2);
  EXPECT_EQ(Written(), (std::set<Pixel>{{0, 0}, {1, 1}, {2, 1}, {3, 2}}));
  frame.assign(kPixels, 0);
  Line(4, 2, 0, 0);  // from the smaller x, with the slope of the original direction
  EXPECT_EQ(Written(), (std::set<Pixel>{{0, 0}, {1, 1}, {2, 1}, {3, 2}}));
}

TEST_F(Lines, DegenerateAndOffScreenLines) {
  Line(7, 7, 7, 7);
  EXPECT_TRUE(Written().empty());
  Line(318, 3, 323, 3);  // no column test: continues on the next row
  EXPECT_EQ(Written(), Union({Row(3, 318, 320), Row(4, 0, 3)}));
  frame.assign(kPixels, 0);
  Line(5, -3, 5, 2);
  EXPECT_EQ(Written(), (std::set<Pixel>{{5, 0}, {5, 1}}));
  frame.assign(kPixels, 0);
  Line(0, 0, 100000, 1);  // longer than the reciprocal table
  Line(-2147483647 - 1, 0, 2147483647, 1);
  EXPECT_TRUE(Written().empty());
}

TEST_F(Fill, PointsOnlyInsideTheScreen) {
  spts[0] = {319, 239, 0}, spts[1] = {320, 0, 0}, spts[2] = {0, -1, 0}, spts[3] = {0, 0, 0};
  spts[4] = {-1, 5, 0}, spts[5] = {5, 240, 0};
  PlotPoints(6, frame.data());
  EXPECT_EQ(Written(), (std::set<Pixel>{{319, 239}, {0, 0}}));
  EXPECT_EQ(frame[76799], 0xFFFF);
}

class Bilinear : public Fill {
 protected:
  void SetUp() override {
    Fill::SetUp();
    texels.assign(4096, 0);
  }
  // One-pixel span at (50, 51) that samples at the coordinates given to corner 1.
  uint16_t Sample(int32_t tu, int32_t tv) {
    Corner(0, 50, 50), Corner(1, 51, 50), Corner(2, 50, 51);
    frame.assign(kPixels, 0);
    DrawTextureTriangleBilinear(0, 0, 0, 1, tu, tv, 2, 0, 0, 0, 0, frame.data(), 2, texels.data());
    EXPECT_EQ(Written().size(), frame[51 * kWidth + 50] ? 1u : 0u);
    return frame[51 * kWidth + 50];
  }
  std::vector<uint32_t> texels;
};

TEST_F(Bilinear, TexelCornersGiveTheTexelItself) {
  for (int i = 0; i < 4096; ++i) texels[i] = static_cast<uint32_t>((i * 2654435761u) & 0xFFFFFF);
  for (auto [tu, tv] : {std::pair{8, 12}, {0, 0}, {252, 252}, {100, 4}}) {
    const uint32_t t = texels[(tv / 4) * 64 + tu / 4];
    const uint16_t want = static_cast<uint16_t>(((t >> 19) << 11) | (((t >> 10) & 63) << 5) |
                                                ((t & 255) >> 3));
    EXPECT_EQ(Sample(tu, tv), want) << tu << "," << tv;
  }
}

TEST_F(Bilinear, OnlyTheNeighbourWrapsAroundTheTextureEdge) {
  // u = 255: column 63 blended with column 0 of the same row, weight 0xC000 on column 0.
  texels[0] = 255u << 16;  // column 0: red 255; column 63: black
  EXPECT_EQ(Sample(255, 0) >> 11, (255 * 0xC000 >> 16) >> 3);  // red 191
  texels[0] = 0, texels[63] = 255u << 16;
  // Falling: 255 + ((-255 * 0xC000) >> 16) = 255 - 192 = 63.
  EXPECT_EQ(Sample(255, 0) >> 11, 63 >> 3);
  // v = 255 wraps to row 0 the same way.
  texels.assign(4096, 0);
  texels[0] = 255;  // blue
  EXPECT_EQ(Sample(0, 255) & 31, (255 * 0xC000 >> 16) >> 3);
}

TEST_F(Bilinear, UniformTexturesGiveTheirColourEverywhere) {
  for (auto [texel, pixel] : {std::pair{0xFFFFFFu, 0xFFFF}, {0xFF0000u, 0xF800}}) {
    texels.assign(4096, texel);
    for (auto [tu, tv] : {std::pair{0, 0}, {255, 255}, {77, 191}, {3, 250}})
      EXPECT_EQ(Sample(tu, tv), pixel);
    // A larger triangle is the same colour throughout, clipped at the right edge.
    frame.assign(kPixels, 0);
    Corner(0, 300, 10), Corner(1, 340, 10), Corner(2, 300, 50);
    DrawTextureTriangleBilinear(0, 0, 0, 1, 255, 0, 2, 0, 255, 0, 0, frame.data(), 2,
                                texels.data());
    const auto written = Written();
    EXPECT_FALSE(written.empty());
    for (auto [x, y] : written) {
      EXPECT_EQ(At(x, y), pixel);
      EXPECT_TRUE(x >= 300 && y >= 11 && y <= 50);
    }
  }
}

// The sampling rule written out plainly: four texels, per-channel blend, RGB565.
uint16_t ReferenceSample(const std::vector<uint32_t>& tex, int32_t u, int32_t v) {
  const int32_t tx = (u >> 16) >> 2, ty = (v >> 16) >> 2;
  const int32_t tx1 = (tx + 1) & 63, ty1 = (ty + 1) & 63;
  const int32_t fx = (u >> 2) & 0xFFFF, fy = (v >> 2) & 0xFFFF;
  const uint32_t t[4] = {tex[ty * 64 + tx], tex[ty * 64 + tx1], tex[ty1 * 64 + tx],
                         tex[ty1 * 64 + tx1]};
  int32_t c[3];
  for (int k = 0; k < 3; ++k) {
    const int bit = 16 - 8 * k;
    const int32_t k00 = (t[0] >> bit) & 255, k10 = (t[1] >> bit) & 255;
    const int32_t k01 = (t[2] >> bit) & 255, k11 = (t[3] >> bit) & 255;
    const int32_t top = k00 + (((k10 - k00) * fx) >> 16);
    const int32_t bottom = k01 + (((k11 - k01) * fx) >> 16);
    c[k] = top + (((bottom - top) * fy) >> 16);
  }
  return static_cast<uint16_t>(((c[0] >> 3) << 11) | ((c[1] >> 2) << 5) | (c[2] >> 3));
}

TEST_F(Bilinear, EveryPixelOfASpanFollowsTheSamplingRule) {
  // One span in row 51 from x 0 (corner 0) to x 37 (corner 1): pixel k carries
  // u = (tu0 << 16) + (k + 1) * (((tu1 - tu0) << 16) / 37), and likewise v.
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  for (auto& t : texels) t = next() >> 8;
  for (int trial = 0; trial < 300; ++trial) {
    const int32_t tu0 = next() >> 24, tv0 = next() >> 24, tu1 = next() >> 24, tv1 = next() >> 24;
    Corner(0, 0, 50), Corner(1, 37, 50), Corner(2, 0, 51);
    frame.assign(kPixels, 0);
    DrawTextureTriangleBilinear(0, tu0, tv0, 1, tu1, tv1, 2, 0, 0, 0, 0, frame.data(), 2,
                                texels.data());
    const int32_t du = ((tu1 - tu0) << 16) / 37, dv = ((tv1 - tv0) << 16) / 37;
    for (int k = 0; k < 37; ++k) {
      const uint16_t want = ReferenceSample(texels, (tu0 << 16) + (k + 1) * du,
                                            (tv0 << 16) + (k + 1) * dv);
      ASSERT_EQ(At(k, 51), want) << "trial " << trial << " pixel " << k;
    }
  }
}

TEST_F(Bilinear, OneRowTrianglesAndFarCornersDrawSafely) {
  texels.assign(4096, 0xFFFFFF);
  Corner(0, 10, 20), Corner(1, 200, 20), Corner(2, 100, 20);
  DrawTextureTriangleBilinear(0, 0, 0, 1, 255, 0, 2, 0, 255, 0, 0, frame.data(), 2, texels.data());
  EXPECT_TRUE(Written().empty());
  // A corner two billion rows away: only the screen rows are walked, coordinates stay in range.
  Corner(0, 160, 100), Corner(1, 170, 2000000000), Corner(2, 150, 120);
  DrawTextureTriangleBilinear(0, 0, 0, 1, 255, 255, 2, 0, 255, 0, 0, frame.data(), 2,
                              texels.data());
  EXPECT_FALSE(Written().empty());
}

TEST_F(Fill, EnvmappedTriangleReadsItsMapWithoutWrapping) {
  std::vector<uint16_t> map(4096);
  for (int i = 0; i < 4096; ++i) map[i] = static_cast<uint16_t>(i + 1);
  point_tc[0] = {0, 0}, point_tc[1] = {200, 100}, point_tc[2] = {0, 0};
  Corner(0, 50, 50), Corner(1, 54, 50), Corner(2, 50, 51);
  DrawEnvmappedTriangle(0, 0, 0, 1, 0, 0, 2, 0, 0, 0, 0, frame.data(), 2, map.data());
  EXPECT_EQ(Written(), Row(51, 50, 54));
  EXPECT_EQ(At(53, 51), (100 >> 2) * 64 + (200 >> 2) + 1);
  // Shift 0: a 256 x 256 map addressed directly.
  std::vector<uint16_t> big(65536);
  for (int i = 0; i < 65536; ++i) big[i] = static_cast<uint16_t>(i ^ 0x5A5A);
  DrawEnvmappedTriangle(0, 0, 0, 1, 0, 0, 2, 0, 0, 0, 0, frame.data(), 0, big.data());
  EXPECT_EQ(At(53, 51), (100 * 256 + 200) ^ 0x5A5A);
  // Column tested: a span past the right edge does not continue on the next row.
  frame.assign(kPixels, 0);
  Corner(0, 315, 50), Corner(1, 325, 50), Corner(2, 315, 51);
  DrawEnvmappedTriangle(0, 0, 0, 1, 0, 0, 2, 0, 0, 0, 0, frame.data(), 2, map.data());
  EXPECT_EQ(Written(), Row(51, 315, 320));
}

}  // namespace
