// The model loaders: both formats read back exactly, and every malformed model is refused
// without touching the object or reading outside the bytes it was given.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "engine3d/engine3d.h"
#include "platform/platform.h"
#include "precalc/precalc.h"

namespace {

using V = std::tuple<int32_t, int32_t, int32_t>;

void ReleaseArrays(Object3d& o) {
  for (void* p : {static_cast<void*>(o.pts), static_cast<void*>(o.polys),
                  static_cast<void*>(o.lines), static_cast<void*>(o.normals),
                  static_cast<void*>(o.pt_normals)})
    std::free(p);
}

struct RawModel {
  std::vector<uint32_t> points, lines, polys;  // x y z, a b, p0 p1 p2
};

// Header, points, lines, polygons; `wide` selects the 32-bit file, else the packed 16-bit data.
std::vector<uint8_t> Encode(const RawModel& m, bool wide) {
  std::vector<uint8_t> out;
  auto put = [&out, wide](uint32_t v) {
    for (int i = 0; i < (wide ? 4 : 2); ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  put(static_cast<uint32_t>(m.points.size() / 3));
  put(static_cast<uint32_t>(m.lines.size() / 2));
  put(static_cast<uint32_t>(m.polys.size() / 3));
  for (uint32_t v : m.points) wide ? put(v) : out.push_back(static_cast<uint8_t>(v));
  for (uint32_t v : m.lines) put(v);
  for (uint32_t v : m.polys) put(v);
  return out;
}

// Point (x, y, z) in the 32-bit format at scale 1 (its coordinates are biased and z reversed);
// the 16-bit loader sees the low bytes.
void AddPoint(RawModel& m, int32_t x, int32_t y, int32_t z) {
  m.points.push_back(static_cast<uint32_t>(x + 65536 + 20480));
  m.points.push_back(static_cast<uint32_t>(y + 65536));
  m.points.push_back(static_cast<uint32_t>(65536 + 11264 - z));
}

RawModel Tetrahedron() {
  RawModel m;
  AddPoint(m, 0, 0, 0);
  AddPoint(m, 100, 0, 0);
  AddPoint(m, 0, 100, 0);
  AddPoint(m, 0, 0, 100);
  m.lines = {0, 1, 2, 3};
  m.polys = {0, 2, 1, 0, 1, 3, 0, 3, 2, 1, 2, 3};
  return m;
}

// A model whose point 0 is corner `corner` of `fans` triangles.
RawModel Fan(int fans, int corner) {
  RawModel m;
  for (int i = 0; i <= fans + 1; ++i) AddPoint(m, i, i * i % 7, 0);
  for (uint32_t i = 0; i < static_cast<uint32_t>(fans); ++i) {
    uint32_t tri[3] = {i + 1, i + 2, 0};
    for (int c = 0; c < 3; ++c) m.polys.push_back(tri[(c + 5 - corner) % 3]);
  }
  return m;
}

// A record no loader produces: a refused model must leave every field as it is.
Object3d Sentinel() {
  Object3d o{};
  o.npts = 5, o.npolys = 6, o.nlines = 7;
  o.rot_x = 0.5f, o.pos_z = 99.0f;
  return o;
}

void ExpectSentinel(const Object3d& o) {
  EXPECT_EQ(V(o.npts, o.npolys, o.nlines), V(5, 6, 7));
  EXPECT_TRUE(!o.pts && !o.polys && !o.lines && !o.normals && !o.pt_normals);
  EXPECT_TRUE(o.rot_x == 0.5f && o.pos_z == 99.0f);
}

// Loads from an exact-size heap copy, so that the address checker sees any read past the end.
bool Load(const std::vector<uint8_t>& bytes, bool wide, Object3d* o, int negate = 1,
          float scale = 1.0f) {
  uint8_t* copy = static_cast<uint8_t*>(std::malloc(bytes.size() + 1));
  std::copy(bytes.begin(), bytes.end(), copy);
  bool ok = wide ? Load32bit3doData(copy, bytes.size(), o, negate, scale)
                 : Load16bit3do(o, copy, bytes.size(), negate);
  std::free(copy);
  return ok;
}

void ExpectRefused(const std::vector<uint8_t>& bytes, bool wide, const char* what) {
  SCOPED_TRACE(what);
  Object3d o = Sentinel();
  EXPECT_FALSE(Load(bytes, wide, &o));
  ExpectSentinel(o);
}

// The loaders' loading frames are counted, not drawn.
int presented = 0;
void CountFrame() { ++presented; }

class Loaders : public ::testing::Test {
 protected:
  void SetUp() override {
    UseHeadlessPlatform();
    loading_frame = CountFrame;
    presented = 0;
  }
  void TearDown() override {
    loading_frame = nullptr;
    for (const std::string& p : temps_) std::remove(p.c_str());
  }
  std::string WriteTemp(const std::vector<uint8_t>& bytes) {
    char path[] = "/tmp/engine3d_modelXXXXXX";
    int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
    temps_.push_back(path);
    return path;
  }

 private:
  std::vector<std::string> temps_;
};

TEST_F(Loaders, ThirtyTwoBitFileReadsBackWithLoadingFrames) {
  Object3d o = Sentinel();
  ASSERT_TRUE(Load32bit3doFile(WriteTemp(Encode(Tetrahedron(), true)).c_str(), &o, 1, 1.0f));
  EXPECT_EQ(presented, 5);  // points, lines, polygons, face and point normals
  ASSERT_EQ(V(o.npts, o.nlines, o.npolys), V(4, 2, 4));
  EXPECT_EQ(V(o.pts[1].x, o.pts[2].y, o.pts[3].z), V(100, 100, 100));
  EXPECT_EQ(o.pts[3].color, 0xFFFF);
  EXPECT_EQ(V(o.lines[1].a, o.lines[1].b, o.lines[0].color), V(2, 3, 0xFFFFFF));
  EXPECT_EQ(V(o.polys[3].p0, o.polys[3].p1, o.polys[3].p2), V(1, 2, 3));
  EXPECT_EQ(o.normals[0].z, -256);  // triangle (0, 2, 1) in z = 0, flipped by negate 1
  EXPECT_NE(o.pt_normals[0].z, 0);
  EXPECT_TRUE(o.rot_x == 0.5f && o.pos_z == 99.0f);  // placement is not the loader's business
  ReleaseArrays(o);
}

TEST_F(Loaders, ThirtyTwoBitPointsTruncateTowardZeroAndWrap) {
  RawModel raw;
  raw.points = {65536 + 61441, 65536 - 100, 65536 + 11264,  // x = 0.33, y = -33.3, z = 7509.3
                65536 + 61439, 65536 - 301, 65536 + 11264,  // x = -0.33, y = -100.3
                0, 65535, 0xFFFFFFFFu};                     // below the bias: wraps negative
  Object3d o{};
  ASSERT_TRUE(Load(Encode(raw, true), true, &o, 1, 3.0f));
  EXPECT_EQ(V(o.pts[0].x, o.pts[0].y, o.pts[0].z), V(0, -33, 7509));
  EXPECT_EQ(V(o.pts[1].x, o.pts[1].y, 0), V(0, -100, 0));
  // x = -65536 / 3 - 20480, y = -1 / 3, z = 1024 + 65537 / 3 + 10240
  EXPECT_EQ(V(o.pts[2].x, o.pts[2].y, o.pts[2].z), V(-42325, 0, 33109));
  ReleaseArrays(o);
}

TEST_F(Loaders, SixteenBitDataWithOddOffsetsAndWideIndices) {
  RawModel raw;
  for (uint32_t i = 0; i < 301; ++i)  // 903 point bytes: all later fields start at odd offsets
    raw.points.insert(raw.points.end(), {i == 0 ? 0u : i == 1 ? 128u : 255u, i % 256, i == 300 ? 1u : 129u});
  raw.lines = {299, 300, 0, 258};
  raw.polys = {0, 300, 299, 257, 258, 259};
  Object3d o = Sentinel();
  ASSERT_TRUE(Load(Encode(raw, false), false, &o));
  EXPECT_EQ(presented, 0);  // the packed loader shows no loading frames
  ASSERT_EQ(V(o.npts, o.nlines, o.npolys), V(301, 2, 2));
  EXPECT_EQ(V(o.pts[0].x, o.pts[1].x, o.pts[2].x), V(-64, 0, 63));
  EXPECT_EQ(V(o.pts[1].y, o.pts[300].z, o.pts[5].color), V(-64, -64, 0xFFFF));  // (1 - 128) >> 1
  EXPECT_EQ(V(o.lines[0].a, o.lines[0].b, o.lines[1].b), V(299, 300, 258));
  EXPECT_EQ(o.lines[1].color, 0xFFFF);
  EXPECT_EQ(V(o.polys[0].p1, o.polys[1].p0, o.polys[1].p2), V(300, 257, 259));
  EXPECT_EQ(o.rot_x, 0.5f);
  ReleaseArrays(o);
}

TEST_F(Loaders, RefusedModelsLeaveTheObjectAlone) {
  for (bool wide : {true, false}) {
    SCOPED_TRACE(wide ? "32-bit" : "16-bit");
    std::vector<uint8_t> good = Encode(Tetrahedron(), wide);
    size_t header = wide ? 12 : 6;
    ExpectRefused({}, wide, "no bytes");
    ExpectRefused(std::vector<uint8_t>(good.begin(), good.begin() + header - 1), wide, "header");
    ExpectRefused(std::vector<uint8_t>(good.begin(), good.begin() + header + 5), wide, "points");
    ExpectRefused(std::vector<uint8_t>(good.begin(), good.end() - 1), wide, "last byte missing");
    RawModel bad = Tetrahedron();
    bad.lines[3] = 4;
    ExpectRefused(Encode(bad, wide), wide, "line past the last point");
    bad = Tetrahedron();
    bad.polys[11] = 0xFFFFFFFFu;
    ExpectRefused(Encode(bad, wide), wide, "polygon past the last point / negative");
    for (int corner = 0; corner < 3; ++corner)
      ExpectRefused(Encode(Fan(256, corner), wide), wide, "point in 256 triangles");
    EXPECT_EQ(presented, 0);  // a refused model shows no loading frames
    Object3d o{};
    std::vector<uint8_t> empty = Encode(RawModel{}, wide);
    empty.push_back(0xAB);  // bytes after the model are ignored
    EXPECT_TRUE(Load(empty, wide, &o));
    EXPECT_EQ(V(o.npts, o.nlines, o.npolys), V(0, 0, 0));
    ReleaseArrays(o);
    o = Object3d{};
    EXPECT_TRUE(Load(Encode(Fan(255, 2), wide), wide, &o));
    EXPECT_EQ(addtimes[0], 255);  // the largest use count that fits
    ReleaseArrays(o);
    presented = 0;
  }
  auto header32 = [](uint32_t npts, uint32_t nlines, uint32_t npolys, size_t body) {
    RawModel m;
    std::vector<uint8_t> out = Encode(m, true);
    for (int i = 0; i < 4; ++i) {
      out[i] = static_cast<uint8_t>(npts >> (8 * i));
      out[4 + i] = static_cast<uint8_t>(nlines >> (8 * i));
      out[8 + i] = static_cast<uint8_t>(npolys >> (8 * i));
    }
    out.resize(12 + body);
    return out;
  };
  ExpectRefused(header32(kMaxWork + 1, 0, 0, (kMaxWork + 1) * 12), true, "too many points");
  ExpectRefused(header32(0, kMaxWork + 1, 0, (kMaxWork + 1) * 8), true, "too many lines");
  // Lines that all join point 0 to itself: only their number is wrong.
  RawModel many;
  AddPoint(many, 0, 0, 0);
  many.lines.assign(2 * (kMaxWork + 1), 0);
  ExpectRefused(Encode(many, true), true, "one line more than fits, every endpoint valid");
  many.lines.resize(2 * kMaxWork);
  Object3d most{};
  EXPECT_TRUE(Load(Encode(many, true), true, &most));
  EXPECT_EQ(most.nlines, kMaxWork);
  ReleaseArrays(most);
  presented = 0;
  ExpectRefused(header32(3, 0, kMaxSortedPolys + 1, 36 + (kMaxSortedPolys + 1) * 12), true,
                "too many polygons");
  ExpectRefused(header32(0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 64), true, "absurd counts");
  EXPECT_EQ(presented, 0);

  Object3d o = Sentinel();
  EXPECT_FALSE(Load32bit3doFile("/nonexistent/engine3d/model.bin", &o, 1, 1.0f));
  EXPECT_FALSE(Load32bit3doFile(WriteTemp({}).c_str(), &o, 1, 1.0f));
  EXPECT_FALSE(Load32bit3doFile(nullptr, &o, 1, 1.0f));
  EXPECT_FALSE(Load32bit3doData(nullptr, 100, &o, 1, 1.0f));
  EXPECT_FALSE(Load16bit3do(&o, nullptr, 100, 1));
  ExpectSentinel(o);
}

// Cut and damaged good models: the loaders must never read outside the buffer.
TEST_F(Loaders, DamagedModelsNeverCrash) {
  uint32_t rng = 99;
  auto next = [&rng] { return (rng = rng * 1664525u + 1013904223u) >> 8; };
  for (int round = 0; round < 2000; ++round)
    for (bool wide : {true, false}) {
      std::vector<uint8_t> bytes = Encode(Tetrahedron(), wide);
      bytes.resize(next() % (bytes.size() + 8));
      for (int k = next() % 4; k > 0 && !bytes.empty(); --k)
        bytes[next() % bytes.size()] = static_cast<uint8_t>(next());
      Object3d o{};
      if (Load(bytes, wide, &o)) {
        for (int i = 0; i < o.npolys; ++i) ASSERT_LT(o.polys[i].p2, o.npts);
      }
      ReleaseArrays(o);
    }
}

}  // namespace
