// The 3D engine's arithmetic: normals, the generated shapes, the transform, the lighting and
// the depth sort.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "engine3d/engine3d.h"

namespace {

void ReleaseArrays(Object3d& o) {
  std::free(o.pts);
  std::free(o.polys);
  std::free(o.lines);
  std::free(o.normals);
  std::free(o.pt_normals);
  o = Object3d{};
}

// An object over caller-owned points and triangles (normals are allocated by the engine).
struct Mesh {
  std::vector<Point3d> pts;
  std::vector<Polygon3d> polys;
  Object3d obj{};
  Mesh(std::vector<Point3d> p, std::vector<Polygon3d> t) : pts(std::move(p)), polys(std::move(t)) {
    obj.npts = static_cast<int32_t>(pts.size());
    obj.npolys = static_cast<int32_t>(polys.size());
    obj.pts = pts.data();
    obj.polys = polys.data();
  }
  ~Mesh() {
    std::free(obj.normals);
    std::free(obj.pt_normals);
  }
};

Polygon3d Tri(int32_t a, int32_t b, int32_t c) {
  Polygon3d p{};
  p.p0 = a;
  p.p1 = b;
  p.p2 = c;
  return p;
}

void ExpectVec(const Vector3& v, int32_t x, int32_t y, int32_t z) {
  EXPECT_EQ(v.x, x);
  EXPECT_EQ(v.y, y);
  EXPECT_EQ(v.z, z);
}

int64_t Dot(const Vector3& a, int64_t x, int64_t y, int64_t z) { return a.x * x + a.y * y + a.z * z; }

// ---- Vectors and normals ----

TEST(Normals, NormalizeScalesToLength256WithATruncatedLength) {
  ExpectVec(Normalize(0, 0, 0), 0, 0, 0);
  ExpectVec(Normalize(3, 4, 0), 153, 204, 0);
  ExpectVec(Normalize(1, 1, 0), 256, 256, 0);  // len 1: short vectors come out long
  ExpectVec(Normalize(0, -7, 0), 0, -256, 0);
  // A sum of squares that wraps negative has no length: the result is the zero vector.
  ExpectVec(Normalize(46341, 0, 0), 0, 0, 0);
}

TEST(Normals, DegenerateTrianglesCountButAddNothingAndUnusedPointsStayZero) {
  Mesh m({{0, 0, 0, 0}, {10, 0, 0, 0}, {20, 0, 0, 0}, {0, 10, 0, 0}, {5, 5, 5, 0}},
         {Tri(0, 1, 2), Tri(0, 3, 1)});
  CalcNorms(&m.obj, 1);
  CalcPtNorms(&m.obj);
  ExpectVec(m.obj.normals[0], 0, 0, 0);
  ExpectVec(m.obj.normals[1], 0, 0, -256);
  EXPECT_EQ(addtimes[0], 2);
  EXPECT_EQ(addtimes[1], 2);
  EXPECT_EQ(addtimes[2], 1);
  EXPECT_EQ(addtimes[4], 0);
  ExpectVec(m.obj.pt_normals[0], 0, 0, -256);  // (0,0,-256) / 2, normalized again
  ExpectVec(m.obj.pt_normals[2], 0, 0, 0);     // only the degenerate triangle uses it
  ExpectVec(m.obj.pt_normals[4], 0, 0, 0);
}

TEST(Normals, OnlyNegateOneFlips) {
  Mesh m({{0, 0, 0, 0}, {10, 0, 0, 0}, {0, 10, 0, 0}}, {Tri(0, 2, 1)});
  CalcNorms(&m.obj, 0);
  Vector3 plain = m.obj.normals[0];
  std::free(m.obj.normals);
  CalcNorms(&m.obj, 2);
  ExpectVec(m.obj.normals[0], plain.x, plain.y, plain.z);
  std::free(m.obj.normals);
  CalcNorms(&m.obj, 1);
  ExpectVec(m.obj.normals[0], -plain.x, -plain.y, -plain.z);
  EXPECT_NE(plain.z, 0);
}

TEST(Normals, ReversingTheWindingFlipsTheNormalAndKeepsTexCoords) {
  Mesh m({{0, 0, 0, 0}, {10, 0, 0, 0}, {0, 10, 0, 0}}, {Tri(0, 2, 1)});
  m.polys[0].tu0 = 5;
  CalcNorms(&m.obj, 0);
  int32_t before = m.obj.normals[0].z;
  std::free(m.obj.normals);
  ReversePolygonOrder(&m.obj);
  EXPECT_EQ(m.polys[0].p0, 1);
  EXPECT_EQ(m.polys[0].p2, 0);
  EXPECT_EQ(m.polys[0].tu0, 5);
  CalcNorms(&m.obj, 0);
  EXPECT_EQ(m.obj.normals[0].z, -before);
}

// ---- Generated shapes ----

class Shapes : public ::testing::Test {
 protected:
  Object3d o{};
  void TearDown() override { ReleaseArrays(o); }
  // Every stored normal of a closed convex shape built with negate 1 points into it.
  void ExpectFaceNormalsInward() {
    for (int i = 0; i < o.npolys; ++i) {
      const Polygon3d& p = o.polys[i];
      int64_t cx = int64_t{o.pts[p.p0].x} + o.pts[p.p1].x + o.pts[p.p2].x;
      int64_t cy = int64_t{o.pts[p.p0].y} + o.pts[p.p1].y + o.pts[p.p2].y;
      int64_t cz = int64_t{o.pts[p.p0].z} + o.pts[p.p1].z + o.pts[p.p2].z;
      EXPECT_LT(Dot(o.normals[i], cx, cy, cz), 0) << "triangle " << i;
      EXPECT_NEAR(std::hypot(o.normals[i].x, o.normals[i].y, o.normals[i].z), 256.0, 3.0);
    }
  }
};

TEST_F(Shapes, CubeFacesNormalsAndTexture) {
  InitTestObject(&o, 0);
  ASSERT_EQ(o.npts, 8);
  ASSERT_EQ(o.npolys, 12);
  EXPECT_EQ(o.nlines, 0);
  ExpectVec(o.normals[0], 0, 0, 256);
  ExpectVec(o.normals[1], 0, 0, 256);
  ExpectVec(o.normals[2], 0, 0, -256);
  ExpectVec(o.normals[3], 0, 0, -256);
  ExpectFaceNormalsInward();
  // Corner (-64, 64, -64) is shared by three faces: its averaged normal points inwards.
  EXPECT_GT(o.pt_normals[0].x, 0);
  EXPECT_LT(o.pt_normals[0].y, 0);
  EXPECT_GT(o.pt_normals[0].z, 0);
  EXPECT_EQ(o.polys[4].tv1, 239);
  EXPECT_EQ(o.polys[4].tu2, 239);
  EXPECT_EQ(o.polys[5].tu2, 239);
  EXPECT_EQ(o.polys[5].tv2, 16);
  EXPECT_EQ(o.rot_x, 0.0f);
  EXPECT_EQ(o.pos_z, 256.0f);
}

TEST_F(Shapes, SubdividedCubeGridAndTexture) {
  InitTestObject(&o, 1);
  ASSERT_EQ(o.npts, 150);
  ASSERT_EQ(o.npolys, 192);
  const Polygon3d& first = o.polys[0];
  EXPECT_EQ(first.p0, 0);
  EXPECT_EQ(first.p1, 1);
  EXPECT_EQ(first.p2, 5);
  EXPECT_EQ(first.tu0, 16);
  EXPECT_EQ(first.tv0, 16);
  EXPECT_EQ(first.tu1, 75);
  EXPECT_EQ(first.tv1, 16);
  EXPECT_EQ(first.tu2, 16);
  EXPECT_EQ(first.tv2, 75);
  for (int32_t p : {first.p0, first.p1, first.p2}) EXPECT_EQ(o.pts[p].z, -16);
  const Polygon3d& last = o.polys[191];  // second triangle of face 5's last cell
  EXPECT_EQ(last.p0, 148);
  EXPECT_EQ(last.p1, 144);
  EXPECT_EQ(last.p2, 149);
  EXPECT_EQ(last.tu0, 195);
  EXPECT_EQ(last.tv0, 255);
  EXPECT_EQ(last.tu1, 255);
  EXPECT_EQ(last.tv1, 195);
  EXPECT_EQ(o.polys[2 * 2 + 8 * 2].tu0, 135);
  for (int i = 0; i < o.npts; ++i) {
    int m = std::max({std::abs(o.pts[i].x), std::abs(o.pts[i].y), std::abs(o.pts[i].z)});
    EXPECT_EQ(m, 16) << "point " << i;
  }
  ExpectFaceNormalsInward();
}

TEST_F(Shapes, StarPointsAndPyramids) {
  InitTestObject(&o, 2);
  ASSERT_EQ(o.npts, 54);
  ASSERT_EQ(o.npolys, 48);
  EXPECT_EQ(o.pts[4].x, 0);
  EXPECT_EQ(o.pts[4].y, 0);
  EXPECT_EQ(o.pts[4].z, -24);
  EXPECT_EQ(o.pts[0].x, -8);
  EXPECT_EQ(o.pts[0].y, -8);
  EXPECT_EQ(o.pts[0].z, -8);
  EXPECT_EQ(o.pts[9 + 4].z, 24);       // face 1 centre
  EXPECT_EQ(o.pts[45 + 4].y, -24);     // face 5 centre
  EXPECT_EQ(o.pts[45 + 1].z, 8);       // face 5, row 0: b' = 8
  // The four pyramid sides around the raised centre of every face face inwards.
  for (int f = 0; f < 6; ++f)
    for (int k : {1, 3, 5, 7}) {
      const Polygon3d& p = o.polys[8 * f + k];
      EXPECT_TRUE(p.p0 == 9 * f + 4 || p.p1 == 9 * f + 4 || p.p2 == 9 * f + 4);
      const Point3d& c = o.pts[9 * f + 4];
      EXPECT_LT(Dot(o.normals[8 * f + k], c.x, c.y, c.z), 0);
    }
}

TEST_F(Shapes, UnknownTypeLeavesTheRecordAlone) {
  o.npts = 7;
  o.pos_z = 3.0f;
  InitTestObject(&o, 3);
  InitTestObject(&o, -1);
  EXPECT_EQ(o.npts, 7);
  EXPECT_EQ(o.pts, nullptr);
  EXPECT_EQ(o.pos_z, 3.0f);
  o.npts = 0;
}

TEST(Init3d, BuildsTheFirstThreeSlotsOnly) {
  Init3d();
  EXPECT_EQ(maxobj, 3);
  EXPECT_EQ(object[0].npolys, 12);
  EXPECT_EQ(object[1].npolys, 192);
  EXPECT_EQ(object[2].npolys, 48);
  EXPECT_EQ(object[3].npts, 0);
  EXPECT_EQ(object[3].pts, nullptr);
  for (int i = 0; i < 3; ++i) ReleaseArrays(object[i]);
}

// ---- Transform and lighting ----

class Transform : public ::testing::Test {
 protected:
  std::vector<Point3d> pts;
  Object3d o{};
  void Use(std::vector<Point3d> p) {
    pts = std::move(p);
    o.npts = static_cast<int32_t>(pts.size());
    o.pts = pts.data();
  }
};

TEST_F(Transform, RestingObjectProjectsThroughTheCentre) {
  Use({{0, 0, 0, 0}, {64, 64, -64, 0}, {-1, 0, 0, 0}});
  o.pos_z = 256.0f;
  rotate3d(&o);
  ExpectVec(fpts[1], 64 * 256, 64 * 256, -64 * 256);
  Calc3d(&o);
  EXPECT_EQ(spts[0].x, 160);
  EXPECT_EQ(spts[0].y, 120);
  EXPECT_EQ(spts[1].x, 245);
  EXPECT_EQ(spts[1].y, 205);
  o.pos_z = 3.0f;  // x = -65536 / 768 = -85.3: the division truncates toward zero
  Calc3d(&o);
  EXPECT_EQ(spts[2].x, 160 - 85);
}

TEST_F(Transform, AnglesTurnAboutXThenYThenZ) {
  Use({{0, 1, 0, 0}, {1, 0, 0, 0}});
  const float quarter = 3.14159265f / 2;
  o.rot_x = quarter;
  o.rot_y = quarter;
  rotate3d(&o);
  ExpectVec(fpts[0], 256, 0, 0);  // X takes +y to +z, then Y takes +z to +x
  o.rot_x = o.rot_y = 0.0f;
  o.rot_z = quarter;
  rotate3d(&o);
  ExpectVec(fpts[1], 0, 256, 0);
}

TEST_F(Transform, PositionIsScaledAndTruncatedTowardZero) {
  Use({{0, 0, 0, 0}});
  o.pos_x = 1.5f;
  o.pos_y = -0.99f;
  o.pos_z = 3.999f;
  rotate3d(&o);
  translate3d(&o);
  ExpectVec(fpts[0], 384, -253, 1023);
}

TEST_F(Transform, PointsAtOrBehindTheViewerKeepTheirScreenPosition) {
  Use({{0, 0, 0, 0}, {0, 0, -256, 0}, {0, 0, -300, 0}});
  o.pos_z = 256.0f;
  spts[1] = {7, 9, 0};
  spts[2] = {11, 13, 0};
  Calc3d(&o);
  EXPECT_EQ(fpts[1].z, 0);
  EXPECT_EQ(spts[1].x, 7);
  EXPECT_EQ(spts[1].y, 9);
  EXPECT_EQ(spts[2].x, 11);
  EXPECT_EQ(spts[0].x, 160);
}

TEST(Lighting, ShadeFollowsTheRotatedNormalsZ) {
  Object3d o{};
  o.npolys = o.npts = 5;
  const int32_t z[5] = {65536, 32768, 255, -65536, 65535};
  const uint16_t want[5] = {255, 128, 0, 0, 255};
  for (int i = 0; i < 5; ++i) {
    norms[i].z = pt_norms[i].z = z[i];
    spls[i].shade = spts[i].shade = 77;
  }
  CalcPolyColor(&o);
  CalcPointColor(&o);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(spls[i].shade, want[i]) << i;
    EXPECT_EQ(spts[i].shade, want[i]) << i;
    spls[i].shade = spts[i].shade = 77;
  }
  CalcPolyColorStatic(&o);
  CalcPointColorStatic(&o);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(spls[i].shade, want[i]) << i;
    EXPECT_EQ(spts[i].shade, want[i]) << i;
  }
}

TEST(Lighting, CubeAtRestLightsOnlyItsFrontFace) {
  Object3d o{};
  InitTestObject(&o, 0);
  rotate3d_normals(&o);
  CalcPolyColor(&o);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(spls[i].shade, i < 2 ? 255 : 0) << i;
  rotate3d_pt_normals(&o);
  CalcPointColor(&o);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(spts[i].shade > 0, i < 4) << i;  // z = -64 corners
  // A half turn about Y brings the back face to the front.
  o.rot_y = 3.14151693f;
  rotate3d_normals(&o);
  CalcPolyColor(&o);
  EXPECT_EQ(spls[2].shade, 255);
  EXPECT_EQ(spls[0].shade, 0);
  ReleaseArrays(o);
}

// ---- Depth sort ----

TEST(Quicksort, EmptyRangeAndTheSmallExample) {
  int32_t keys[3] = {5, 1, 4};
  swp[0] = 0;
  swp[1] = 1;
  swp[2] = 2;
  quicksort(0, -1, keys);
  EXPECT_EQ(keys[0], 5);
  EXPECT_EQ(swp[0], 0);
  quicksort(0, 2, keys);
  EXPECT_EQ(keys[0], 1);
  EXPECT_EQ(keys[1], 4);
  EXPECT_EQ(keys[2], 5);
  EXPECT_EQ(swp[0], 1);
  EXPECT_EQ(swp[1], 2);
  EXPECT_EQ(swp[2], 0);
}

TEST(Quicksort, SortsAscendingAndCarriesThePolygonIndices) {
  uint32_t rng = 12345;
  for (int n : {1, 2, 17, 1000, kMaxSortedPolys}) {
    for (int range : {3, 1 << 30}) {  // many equal keys, then nearly all distinct
      std::vector<int32_t> original(n);
      for (int i = 0; i < n; ++i) {
        rng = rng * 1103515245u + 12345u;
        original[i] = static_cast<int32_t>((rng >> 1) % range) - range / 2;
        zdata[i] = original[i];
        swp[i] = static_cast<uint16_t>(i);
      }
      quicksort(0, n - 1, zdata);
      std::vector<int> seen(n, 0);
      for (int i = 0; i < n; ++i) {
        if (i > 0) {
          ASSERT_LE(zdata[i - 1], zdata[i]);
        }
        ASSERT_EQ(original[swp[i]], zdata[i]);
        ++seen[swp[i]];
      }
      for (int i = 0; i < n; ++i) ASSERT_EQ(seen[i], 1);
    }
  }
}

}  // namespace
