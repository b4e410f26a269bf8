// The 3D engine's arithmetic: normals, the generated shapes, the transform, the lighting and
// the depth sort.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <tuple>
#include <vector>

#include "engine3d/engine3d.h"

namespace {

using V = std::tuple<int32_t, int32_t, int32_t>;
V T(const Vector3& v) { return {v.x, v.y, v.z}; }

void ReleaseArrays(Object3d& o) {
  for (void* p : {static_cast<void*>(o.pts), static_cast<void*>(o.polys),
                  static_cast<void*>(o.lines), static_cast<void*>(o.normals),
                  static_cast<void*>(o.pt_normals)})
    std::free(p);
  o = Object3d{};
}

// An object over the test's own points and triangles.
struct Mesh {
  std::vector<Point3d> pts;
  std::vector<Polygon3d> polys;
  Object3d obj{};
  Mesh(std::vector<Point3d> p, std::vector<V> tris) : pts(std::move(p)) {
    for (auto [a, b, c] : tris) polys.push_back({a, 0, 0, b, 0, 0, c, 0, 0, 0, 0});
    obj.npts = static_cast<int32_t>(pts.size());
    obj.npolys = static_cast<int32_t>(polys.size());
    obj.pts = pts.data();
    obj.polys = polys.data();
  }
  void Build(int negate) {
    std::free(obj.normals);
    std::free(obj.pt_normals);
    CalcNorms(&obj, negate);
    CalcPtNorms(&obj);
  }
  ~Mesh() {
    std::free(obj.normals);
    std::free(obj.pt_normals);
  }
};

TEST(Normals, NormalizeScalesToLength256WithATruncatedLength) {
  EXPECT_EQ(T(Normalize(0, 0, 0)), V(0, 0, 0));
  EXPECT_EQ(T(Normalize(3, 4, 0)), V(153, 204, 0));
  EXPECT_EQ(T(Normalize(1, 1, 0)), V(256, 256, 0));  // len 1: short vectors come out long
  EXPECT_EQ(T(Normalize(0, -7, 0)), V(0, -256, 0));
  EXPECT_EQ(T(Normalize(46341, 0, 0)), V(0, 0, 0));  // the sum of squares wraps negative
}

TEST(Normals, DegenerateTrianglesCountButAddNothingAndUnusedPointsStayZero) {
  Mesh m({{0, 0, 0, 0}, {10, 0, 0, 0}, {20, 0, 0, 0}, {0, 10, 0, 0}, {5, 5, 5, 0}},
         {{0, 1, 2}, {0, 3, 1}});
  m.Build(1);
  EXPECT_EQ(T(m.obj.normals[0]), V(0, 0, 0));
  EXPECT_EQ(T(m.obj.normals[1]), V(0, 0, -256));
  EXPECT_EQ(std::vector<int>(addtimes, addtimes + 5), (std::vector<int>{2, 2, 1, 1, 0}));
  EXPECT_EQ(T(m.obj.pt_normals[0]), V(0, 0, -256));  // (0, 0, -256) / 2, normalized again
  EXPECT_EQ(T(m.obj.pt_normals[2]), V(0, 0, 0));     // only the degenerate triangle uses it
  EXPECT_EQ(T(m.obj.pt_normals[4]), V(0, 0, 0));
}

TEST(Normals, OnlyNegateOneFlipsAndReversingTheWindingFlipsToo) {
  Mesh m({{0, 0, 0, 0}, {10, 0, 0, 0}, {0, 10, 0, 0}}, {{0, 2, 1}});
  m.Build(0);
  EXPECT_EQ(T(m.obj.normals[0]), V(0, 0, 256));
  m.Build(2);
  EXPECT_EQ(T(m.obj.normals[0]), V(0, 0, 256));
  m.Build(1);
  EXPECT_EQ(T(m.obj.normals[0]), V(0, 0, -256));
  ReversePolygonOrder(&m.obj);
  EXPECT_EQ(V(m.polys[0].p0, m.polys[0].p1, m.polys[0].p2), V(1, 2, 0));
  m.Build(1);
  EXPECT_EQ(T(m.obj.normals[0]), V(0, 0, 256));
}

class Shapes : public ::testing::Test {
 protected:
  Object3d o{};
  void TearDown() override { ReleaseArrays(o); }
  // Every stored normal of a closed convex shape built with negate 1 points into it.
  void ExpectFaceNormalsInward() {
    for (int i = 0; i < o.npolys; ++i) {
      const Polygon3d& p = o.polys[i];
      int64_t dot = 0, len2 = 0;
      for (int32_t c : {p.p0, p.p1, p.p2})
        dot += int64_t{o.normals[i].x} * o.pts[c].x + int64_t{o.normals[i].y} * o.pts[c].y +
               int64_t{o.normals[i].z} * o.pts[c].z;
      len2 = int64_t{o.normals[i].x} * o.normals[i].x + int64_t{o.normals[i].y} * o.normals[i].y +
             int64_t{o.normals[i].z} * o.normals[i].z;
      EXPECT_LT(dot, 0) << "triangle " << i;
      EXPECT_NEAR(std::sqrt(static_cast<double>(len2)), 256.0, 3.0) << "triangle " << i;
    }
  }
};

TEST_F(Shapes, CubeFacesNormalsAndTexture) {
  InitTestObject(&o, 0);
  ASSERT_EQ(V(o.npts, o.npolys, o.nlines), V(8, 12, 0));
  EXPECT_EQ(T(o.normals[0]), V(0, 0, 256));
  EXPECT_EQ(T(o.normals[1]), V(0, 0, 256));
  EXPECT_EQ(T(o.normals[2]), V(0, 0, -256));
  EXPECT_EQ(T(o.normals[3]), V(0, 0, -256));
  ExpectFaceNormalsInward();
  // Corner (-64, 64, -64) is shared by three faces: its averaged normal points inwards.
  EXPECT_TRUE(o.pt_normals[0].x > 0 && o.pt_normals[0].y < 0 && o.pt_normals[0].z > 0);
  EXPECT_EQ(V(o.polys[4].tv1, o.polys[4].tu2, o.polys[5].tv2), V(239, 239, 16));
  EXPECT_EQ(o.rot_x, 0.0f);
  EXPECT_EQ(o.pos_z, 256.0f);
}

TEST_F(Shapes, SubdividedCubeGridAndTexture) {
  InitTestObject(&o, 1);
  ASSERT_EQ(V(o.npts, o.npolys, o.nlines), V(150, 192, 0));
  const Polygon3d& a = o.polys[0];
  EXPECT_EQ(V(a.p0, a.p1, a.p2), V(0, 1, 5));
  EXPECT_EQ(V(a.tu0, a.tu1, a.tu2), V(16, 75, 16));
  EXPECT_EQ(V(a.tv0, a.tv1, a.tv2), V(16, 16, 75));
  for (int32_t p : {a.p0, a.p1, a.p2}) EXPECT_EQ(o.pts[p].z, -16);
  const Polygon3d& z = o.polys[191];  // second triangle of face 5's last cell
  EXPECT_EQ(V(z.p0, z.p1, z.p2), V(148, 144, 149));
  EXPECT_EQ(V(z.tu0, z.tu1, z.tu2), V(195, 255, 255));
  EXPECT_EQ(V(z.tv0, z.tv1, z.tv2), V(255, 195, 255));
  EXPECT_EQ(o.polys[20].tu0, 135);
  for (int i = 0; i < o.npts; ++i)
    EXPECT_EQ(std::max({std::abs(o.pts[i].x), std::abs(o.pts[i].y), std::abs(o.pts[i].z)}), 16);
  ExpectFaceNormalsInward();
}

TEST_F(Shapes, StarPointsAndPyramids) {
  InitTestObject(&o, 2);
  ASSERT_EQ(V(o.npts, o.npolys, o.nlines), V(54, 48, 0));
  EXPECT_EQ(V(o.pts[4].x, o.pts[4].y, o.pts[4].z), V(0, 0, -24));
  EXPECT_EQ(V(o.pts[0].x, o.pts[0].y, o.pts[0].z), V(-8, -8, -8));
  EXPECT_EQ(V(o.pts[13].z, o.pts[49].y, o.pts[46].z), V(24, -24, 8));
  // The four sides of every face's pyramid face inwards, towards the raised centre's axis.
  for (int f = 0; f < 6; ++f)
    for (int k : {1, 3, 5, 7}) {
      const Point3d& c = o.pts[9 * f + 4];
      const Vector3& n = o.normals[8 * f + k];
      EXPECT_LT(n.x * c.x + n.y * c.y + n.z * c.z, 0) << f << " " << k;
    }
}

TEST(Init3d, BuildsTheFirstThreeSlotsAndLeavesOthersAlone) {
  Init3d();
  EXPECT_EQ(V(object[0].npolys, object[1].npolys, object[2].npolys), V(12, 192, 48));
  EXPECT_EQ(object[3].pts, nullptr);
  Object3d o{};
  o.npts = 7;
  InitTestObject(&o, 3);
  InitTestObject(&o, -1);
  EXPECT_EQ(o.npts, 7);
  EXPECT_EQ(o.pts, nullptr);
  for (int i = 0; i < 3; ++i) ReleaseArrays(object[i]);
}

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
  Calc3d(&o);
  EXPECT_EQ(T(fpts[1]), V(64 * 256, 64 * 256, -64 * 256 + 65536));
  EXPECT_EQ(V(spts[0].x, spts[0].y, spts[1].x), V(160, 120, 245));
  EXPECT_EQ(spts[1].y, 205);
  o.pos_z = 3.0f;  // x = -65536 / 768 = -85.3: the division truncates toward zero
  Calc3d(&o);
  EXPECT_EQ(spts[2].x, 160 - 85);
  o.pos_x = 1.5f;  // positions are scaled by 256 and truncated toward zero
  o.pos_y = -0.99f;
  o.pos_z = 3.999f;
  rotate3d(&o);
  translate3d(&o);
  EXPECT_EQ(T(fpts[0]), V(384, -253, 1023));
}

TEST_F(Transform, AnglesTurnAboutXThenYThenZ) {
  Use({{0, 1, 0, 0}, {1, 0, 0, 0}});
  const float quarter = 3.14159265f / 2;
  o.rot_x = o.rot_y = quarter;
  rotate3d(&o);
  EXPECT_EQ(T(fpts[0]), V(256, 0, 0));  // X takes +y to +z, then Y takes +z to +x
  o.rot_x = o.rot_y = 0.0f;
  o.rot_z = quarter;
  rotate3d(&o);
  EXPECT_EQ(T(fpts[1]), V(0, 256, 0));
}

// Turning about X, then Y, then Z one axis at a time in double: the fixed-point matrix may
// differ from it only by its truncated entries (under one unit per entry and coordinate unit).
TEST_F(Transform, GeneralAnglesAgreeWithThreeSuccessiveTurns) {
  Use({{100, -50, 30, 0}});
  const double a[3][3] = {{0.3, -1.1, 2.0}, {2.5, 0.4, -2.2}, {-0.7, 3.0, 0.9}};
  for (const auto& r : a) {
    o.rot_x = static_cast<float>(r[0]);
    o.rot_y = static_cast<float>(r[1]);
    o.rot_z = static_cast<float>(r[2]);
    double c[3], s[3], x = 100, y = -50, z = 30, t;
    for (int k = 0; k < 3; ++k) {
      c[k] = std::cos(static_cast<double>(static_cast<float>(r[k])));
      s[k] = std::sin(static_cast<double>(static_cast<float>(r[k])));
    }
    t = y * c[0] - z * s[0], z = y * s[0] + z * c[0], y = t;
    t = x * c[1] + z * s[1], z = -x * s[1] + z * c[1], x = t;
    t = x * c[2] - y * s[2], y = x * s[2] + y * c[2], x = t;
    rotate3d(&o);
    EXPECT_NEAR(fpts[0].x, 256 * x, 180);
    EXPECT_NEAR(fpts[0].y, 256 * y, 180);
    EXPECT_NEAR(fpts[0].z, 256 * z, 180);
  }
}

TEST_F(Transform, PointsAtOrBehindTheViewerKeepTheirScreenPosition) {
  Use({{0, 0, 0, 0}, {0, 0, -256, 0}, {0, 0, -300, 0}});
  o.pos_z = 256.0f;
  spts[1] = {7, 9, 0};
  spts[2] = {11, 13, 0};
  Calc3d(&o);
  EXPECT_EQ(fpts[1].z, 0);
  EXPECT_EQ(V(spts[1].x, spts[1].y, spts[2].x), V(7, 9, 11));
  EXPECT_EQ(spts[0].x, 160);
}

TEST(Lighting, ShadeFollowsTheRotatedNormalsZInEveryVariant) {
  const int32_t z[5] = {65536, 32768, 255, -65536, 65535};
  const std::vector<int> want = {255, 128, 0, 0, 255};
  Object3d o{};
  o.npolys = o.npts = 5;
  using Pass = void (*)(Object3d*);
  for (auto [poly, point] : {std::pair<Pass, Pass>(CalcPolyColor, CalcPointColor),
                             std::pair<Pass, Pass>(CalcPolyColorStatic, CalcPointColorStatic)}) {
    for (int i = 0; i < 5; ++i) norms[i].z = pt_norms[i].z = z[i], spls[i].shade = spts[i].shade = 77;
    poly(&o);
    point(&o);
    std::vector<int> got_poly, got_point;
    for (int i = 0; i < 5; ++i) got_poly.push_back(spls[i].shade), got_point.push_back(spts[i].shade);
    EXPECT_EQ(got_poly, want);
    EXPECT_EQ(got_point, want);
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
  for (int i = 0; i < 8; ++i) EXPECT_EQ(spts[i].shade > 0, i < 4) << i;  // the z = -64 corners
  o.rot_y = 3.14151693f;  // a half turn brings the back face to the front
  rotate3d_normals(&o);
  CalcPolyColor(&o);
  EXPECT_EQ(V(spls[0].shade, spls[2].shade, 0), V(0, 255, 0));
  ReleaseArrays(o);
}

TEST(Quicksort, EmptyRangeAndTheSmallExample) {
  int32_t keys[3] = {5, 1, 4};
  swp[0] = 0, swp[1] = 1, swp[2] = 2;
  quicksort(0, -1, keys);
  EXPECT_EQ(V(keys[0], keys[1], keys[2]), V(5, 1, 4));
  EXPECT_EQ(V(swp[0], swp[1], swp[2]), V(0, 1, 2));
  quicksort(0, 2, keys);
  EXPECT_EQ(V(keys[0], keys[1], keys[2]), V(1, 4, 5));
  EXPECT_EQ(V(swp[0], swp[1], swp[2]), V(1, 2, 0));
}

TEST(Quicksort, SortsAscendingAndCarriesThePolygonIndices) {
  uint32_t rng = 12345;
  for (int n : {1, 2, 17, 1000, kMaxSortedPolys})
    for (int range : {3, 1 << 30}) {  // many equal keys, then nearly all distinct
      std::vector<int32_t> original(n);
      for (int i = 0; i < n; ++i) {
        rng = rng * 1103515245u + 12345u;
        zdata[i] = original[i] = static_cast<int32_t>((rng >> 1) % range) - range / 2;
        swp[i] = static_cast<uint16_t>(i);
      }
      quicksort(0, n - 1, zdata);
      std::vector<int> seen(n, 0);
      for (int i = 0; i < n; ++i) {
        ASSERT_TRUE(i == 0 || zdata[i - 1] <= zdata[i]);
        ASSERT_EQ(original[swp[i]], zdata[i]);
        ++seen[swp[i]];
      }
      EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), n);
    }
}

}  // namespace
