// RenderOld's modes on hand-placed triangles: drawing order, facing rules, depth-buffer
// lifecycle, lighting and environment coordinates, and the guards against bad objects.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "data/assets.h"
#include "engine3d/engine3d.h"
#include "platform/demo.h"
#include "precalc/precalc.h"
#include "render3d/render3d.h"

namespace {

constexpr uint16_t kSentinel = 0x0842;

// A hand-made object whose screen positions and depths the test sets directly.
struct TestObject {
  explicit TestObject(int npolys) : points(3 * npolys), polys(npolys), normals(npolys),
                                    pt_normals(3 * npolys) {
    for (int i = 0; i < npolys; ++i) {
      polys[i] = {3 * i, 0, 0, 3 * i + 1, 0, 0, 3 * i + 2, 0, 0, 0, 0};
      normals[i] = {0, 0, 256};
    }
    std::fill(pt_normals.begin(), pt_normals.end(), Vector3{0, 0, 256});
    obj.npts = 3 * npolys;
    obj.npolys = npolys;
    obj.pts = points.data();
    obj.polys = polys.data();
    obj.normals = normals.data();
    obj.pt_normals = pt_normals.data();
  }
  // Screen corners of polygon i, all at depth z.
  void Place(int i, int x0, int y0, int x1, int y1, int x2, int y2, int32_t z) {
    const int xy[3][2] = {{x0, y0}, {x1, y1}, {x2, y2}};
    for (int k = 0; k < 3; ++k) {
      spts[3 * i + k] = {xy[k][0], xy[k][1], 0};
      fpts[3 * i + k] = {0, 0, z};
    }
  }
  void Texel(int i, int tu, int tv) {
    Polygon3d& p = polys[i];
    p.tu0 = p.tu1 = p.tu2 = tu;
    p.tv0 = p.tv1 = p.tv2 = tv;
  }
  void PointNormals(Vector3 n) { std::fill(pt_normals.begin(), pt_normals.end(), n); }

  std::vector<Point3d> points;
  std::vector<Polygon3d> polys;
  std::vector<Vector3> normals, pt_normals;
  Object3d obj{};
};

class Pipeline : public ::testing::Test {
 protected:
  void SetUp() override {
    PrecDivs();
    ClearZbuffer();
    frame.assign(kPixels, kSentinel);
    for (int i = 0; i < 256; ++i) {
      shades[256 + i] = static_cast<uint16_t>(0x1000 + i);
      shades[256 * 5 + i] = static_cast<uint16_t>(0x5000 + i);
    }
  }
  void Draw(int32_t mode, Object3d& obj, int32_t table = 5) {
    RenderMode = mode;
    RenderOld(&obj, table, frame.data());
  }
  uint16_t At(int x, int y) const { return frame[y * kWidth + x]; }
  bool Untouched() const {
    return std::all_of(frame.begin(), frame.end(), [](uint16_t p) { return p == kSentinel; });
  }
  std::vector<uint16_t> frame;
};

TEST(DepthBuffer, StartsClearAndClearsToAllOnes) {
  EXPECT_TRUE(std::all_of(zbuffer, zbuffer + kPixels, [](uint32_t z) { return z == 0xFFFFFFFFu; }));
  zbuffer[123] = 7;
  ClearZbuffer();
  EXPECT_EQ(zbuffer[123], 0xFFFFFFFFu);
}

TEST_F(Pipeline, DepthSortKeysAreAQuarterOfTheNegatedSum) {
  TestObject t(2);
  t.Place(0, 0, 0, 0, 0, 0, 0, -1);  // sum -3 >> 2 = -1 (arithmetic)
  fpts[3] = {0, 0, 4}, fpts[4] = {0, 0, 4}, fpts[5] = {0, 0, 5};
  int32_t keys[2];
  zsort(keys, &t.obj);
  EXPECT_EQ(keys[0], 1);
  EXPECT_EQ(keys[1], -3);
  EXPECT_EQ(swp[0], 0);
  EXPECT_EQ(swp[1], 1);
}

TEST_F(Pipeline, SortedModesPaintFarToNear) {
  mirror[1] = 0x1111, mirror[2] = 0x2222;
  TestObject t(2);
  t.Texel(0, 1, 0), t.Texel(1, 2, 0);
  for (bool firstNear : {true, false}) {
    frame.assign(kPixels, kSentinel);
    t.Place(0, 10, 10, 40, 10, 10, 40, firstNear ? 10 : 500);
    t.Place(1, 5, 5, 60, 5, 5, 60, firstNear ? 500 : 10);
    Draw(32, t.obj);
    EXPECT_EQ(At(15, 15), firstNear ? 0x1111 : 0x2222);
    EXPECT_EQ(At(50, 8), 0x2222);  // only the larger triangle covers it
  }
}

TEST_F(Pipeline, ScreenRuleDropsCollinearAndBackFacingTriangles) {
  TestObject t(1);
  for (int32_t mode : {4, 8, 32, 544}) {
    t.Place(0, 10, 10, 20, 20, 30, 30, 100);  // collinear
    Draw(mode, t.obj);
    t.Place(0, 10, 10, 10, 40, 40, 10, 100);  // wound the other way
    Draw(mode, t.obj);
    EXPECT_TRUE(Untouched()) << mode;
    t.Place(0, 10, 10, 40, 10, 10, 40, 100);
    Draw(mode, t.obj);
    EXPECT_NE(At(15, 15), kSentinel) << mode;
    frame.assign(kPixels, kSentinel);
  }
}

TEST_F(Pipeline, NormalRuleDrawsEdgeOnFacesAndDropsTurnedAwayOnes) {
  TestObject t(1);
  t.Place(0, 10, 10, 10, 40, 40, 10, 100);  // screen winding does not matter here
  for (int32_t mode : {64, 260, 272, 288}) {
    t.normals[0] = {0, 0, -256};
    Draw(mode, t.obj);
    EXPECT_TRUE(Untouched()) << mode;
    t.normals[0] = {256, 0, 0};  // rotated z is 0: drawn
    ClearZbuffer();
    Draw(mode, t.obj);
    EXPECT_NE(At(15, 15), kSentinel) << mode;
    frame.assign(kPixels, kSentinel);
  }
  // Modes without a facing rule draw either winding.
  for (int32_t mode : {16, 264}) {
    ClearZbuffer();
    Draw(mode, t.obj);
    EXPECT_NE(At(15, 15), kSentinel) << mode;
    frame.assign(kPixels, kSentinel);
  }
}

TEST_F(Pipeline, FlatAndGouraudLightingPickTheirShades) {
  TestObject t(1);
  t.Place(0, 10, 10, 40, 10, 10, 40, 100);
  t.normals[0] = {0, 0, 128};  // rotated z 32768: shade 128
  Draw(4, t.obj);
  EXPECT_EQ(At(15, 15), 0x5000 + 128);
  EXPECT_EQ(t.polys[0].shade, 128);
  Draw(4, t.obj, 64);  // no such shade row: nothing drawn
  Draw(4, t.obj, -1);
  EXPECT_EQ(At(15, 15), 0x5000 + 128);

  t.PointNormals({0, 0, 128});
  Draw(8, t.obj);
  EXPECT_EQ(At(15, 15), 128);  // the shade itself as the pixel
  Draw(64, t.obj, 5);          // always shade row 1
  EXPECT_EQ(At(15, 15), 0x1000 + 128);
}

TEST_F(Pipeline, EnvironmentCoordinatesFollowThePointNormals) {
  TestObject t(1);
  t.Place(0, 10, 10, 40, 10, 10, 40, 100);
  const struct {
    Vector3 n;
    int u, v;
  } cases[] = {{{0, 0, 256}, 127, 127}, {{-256, 0, 0}, 1, 127}, {{256, 0, 0}, 255, 127},
               {{0, -256, 0}, 127, 1}};
  for (const auto& c : cases) {
    t.PointNormals(c.n);
    Draw(272, t.obj);
    EXPECT_EQ(point_tc[0].u, c.u);
    EXPECT_EQ(point_tc[0].v, c.v);
    EXPECT_EQ(At(15, 15), env1[(c.v >> 2) * 64 + (c.u >> 2)]);
    Draw(16, t.obj);  // the function filler reads the same coordinates
    EXPECT_EQ(At(15, 15), env1[(c.v >> 2) * 64 + (c.u >> 2)]);
  }
}

TEST_F(Pipeline, Mode260ClearsForEveryObject) {
  TestObject t(1);
  t.Place(0, 10, 10, 40, 10, 10, 40, 10);
  Draw(260, t.obj);
  EXPECT_EQ(At(15, 15), 0x5000 + 255);
  t.Place(0, 10, 10, 40, 10, 10, 40, 1000);  // farther, but drawn into a cleared buffer
  t.normals[0] = {0, 0, 128};
  Draw(260, t.obj);
  EXPECT_EQ(At(15, 15), 0x5000 + 128);
}

TEST_F(Pipeline, Mode264ObjectsHideEachOtherUntilTheBufferIsCleared) {
  TestObject near(1), far(1);
  near.Place(0, 10, 10, 40, 10, 10, 40, 10);
  Draw(264, near.obj);
  far.Place(0, 5, 5, 60, 5, 5, 60, 1000);
  far.PointNormals({0, 0, 128});
  Draw(264, far.obj);
  EXPECT_EQ(At(15, 15), 255);  // the near star stays in front
  EXPECT_EQ(At(50, 8), 128);
  ClearZbuffer();
  Draw(264, far.obj);
  EXPECT_EQ(At(15, 15), 128);
}

TEST_F(Pipeline, PointsAndLinesModes) {
  TestObject t(1);
  Line3d line{0, 1, 0xF81F};
  t.obj.lines = &line;
  t.obj.nlines = 1;
  spts[0] = {319, 239, 0}, spts[1] = {320, 0, 0}, spts[2] = {10, -1, 0};
  Draw(1, t.obj);
  EXPECT_EQ(At(319, 239), 0xFFFF);
  EXPECT_EQ(std::count(frame.begin(), frame.end(), 0xFFFF), 1);
  spts[0] = {10, 5, 0}, spts[1] = {14, 5, 0};
  Draw(2, t.obj);
  EXPECT_EQ(std::count(frame.begin(), frame.end(), 0xF81F), 4);
  EXPECT_EQ(At(13, 5), 0xF81F);
}

TEST_F(Pipeline, BadObjectsAndUnknownModesDrawNothing) {
  TestObject t(1);
  t.Place(0, 10, 10, 40, 10, 10, 40, 100);
  for (int32_t mode : {0, 3, 5, 545, -4}) Draw(mode, t.obj);
  t.obj.npts = kMaxWork + 1;
  Draw(32, t.obj);
  t.obj.npts = 3;
  t.polys[0].p2 = 3;  // corner outside the object's points
  Draw(32, t.obj);
  t.polys[0].p2 = -1;
  Draw(544, t.obj);
  t.polys[0].p2 = 2;
  t.obj.npolys = -1;
  Draw(32, t.obj);
  t.obj.npolys = 1;
  Line3d past{0, 3, 0xF81F};  // ends one past the last point, which sits on screen
  spts[0] = {10, 5, 0}, spts[3] = {30, 5, 0};
  t.obj.lines = &past;
  t.obj.nlines = 1;
  Draw(2, t.obj);
  t.obj.nlines = 0;
  RenderOld(nullptr, 0, frame.data());
  Object3d empty{};  // never built
  for (int32_t mode : {1, 2, 4, 8, 16, 32, 64, 260, 264, 272, 288, 544}) Draw(mode, empty);
  EXPECT_TRUE(Untouched());
}

TEST_F(Pipeline, FarCornersFromStalePositionsAreSkippedSafely) {
  TestObject t(1);
  for (int32_t mode : {4, 8, 16, 32, 64, 260, 264, 272, 288, 544}) {
    t.Place(0, 10, 10, 40, 10, 10, 40, 100);
    spts[2] = {-2000000000, 2000000000, 0};
    Draw(mode, t.obj);
    spts[1] = {2147483647, -2147483647 - 1, 0};
    Draw(mode, t.obj);
  }
  SUCCEED();  // the sanitizer build checks that no table was read out of bounds
}

TEST_F(Pipeline, RenderChoosesTheFillFromTheMaterial) {
  TestObject t(1);
  t.Place(0, 10, 10, 40, 10, 10, 40, 100);
  Render(&t.obj, frame.data());  // no material table
  EXPECT_TRUE(Untouched());
  Material flat{4, 5, nullptr};
  t.obj.materials = &flat;
  Render(&t.obj, frame.data());
  EXPECT_EQ(At(15, 15), 0x5000 + 255);
  std::vector<uint16_t> tex(65536, 0x7777);
  Material textured{32, 0, tex.data()};
  t.obj.materials = &textured;
  Render(&t.obj, frame.data());
  EXPECT_EQ(At(15, 15), 0x7777);
}

}  // namespace
