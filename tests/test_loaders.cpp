// The model loaders: both formats read back exactly, and every malformed model is refused
// without touching the object or reading outside the bytes it was given.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine3d/engine3d.h"
#include "precalc/precalc.h"
#include "runtime/demo.h"
#include "runtime/platform.h"

namespace {

void ReleaseArrays(Object3d& o) {
  std::free(o.pts);
  std::free(o.polys);
  std::free(o.lines);
  std::free(o.normals);
  std::free(o.pt_normals);
}

struct RawModel {
  std::vector<uint32_t> points;  // x, y, z per point
  std::vector<uint32_t> lines;   // a, b per line
  std::vector<uint32_t> polys;   // p0, p1, p2 per polygon
};

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

std::vector<uint8_t> Encode32(const RawModel& m) {
  std::vector<uint8_t> out;
  Put32(out, static_cast<uint32_t>(m.points.size() / 3));
  Put32(out, static_cast<uint32_t>(m.lines.size() / 2));
  Put32(out, static_cast<uint32_t>(m.polys.size() / 3));
  for (uint32_t v : m.points) Put32(out, v);
  for (uint32_t v : m.lines) Put32(out, v);
  for (uint32_t v : m.polys) Put32(out, v);
  return out;
}

std::vector<uint8_t> Encode16(const RawModel& m) {
  std::vector<uint8_t> out;
  Put16(out, static_cast<uint32_t>(m.points.size() / 3));
  Put16(out, static_cast<uint32_t>(m.lines.size() / 2));
  Put16(out, static_cast<uint32_t>(m.polys.size() / 3));
  for (uint32_t v : m.points) out.push_back(static_cast<uint8_t>(v));
  for (uint32_t v : m.lines) Put16(out, v);
  for (uint32_t v : m.polys) Put16(out, v);
  return out;
}

// Point (x, y, z) of the 32-bit format at scale 1, before the format's offsets.
void AddPoint32(RawModel& m, int32_t x, int32_t y, int32_t z) {
  m.points.push_back(static_cast<uint32_t>(x + 65536 + 20480));
  m.points.push_back(static_cast<uint32_t>(y + 65536));
  m.points.push_back(static_cast<uint32_t>(65536 + 11264 - z));
}

RawModel Tetrahedron32() {
  RawModel m;
  AddPoint32(m, 0, 0, 0);
  AddPoint32(m, 100, 0, 0);
  AddPoint32(m, 0, 100, 0);
  AddPoint32(m, 0, 0, 100);
  m.lines = {0, 1, 2, 3};
  m.polys = {0, 2, 1, 0, 1, 3, 0, 3, 2, 1, 2, 3};
  return m;
}

// A record that no loader produces; a refused model must leave every field as it is.
Object3d Sentinel() {
  Object3d o{};
  o.npts = 5;
  o.npolys = 6;
  o.nlines = 7;
  o.rot_x = 0.5f;
  o.pos_z = 99.0f;
  return o;
}

void ExpectSentinel(const Object3d& o) {
  EXPECT_EQ(o.npts, 5);
  EXPECT_EQ(o.npolys, 6);
  EXPECT_EQ(o.nlines, 7);
  EXPECT_EQ(o.pts, nullptr);
  EXPECT_EQ(o.polys, nullptr);
  EXPECT_EQ(o.lines, nullptr);
  EXPECT_EQ(o.normals, nullptr);
  EXPECT_EQ(o.pt_normals, nullptr);
  EXPECT_EQ(o.rot_x, 0.5f);
  EXPECT_EQ(o.pos_z, 99.0f);
}

int presented = 0;
void CountFrame(const uint16_t*, uint32_t, void*) { ++presented; }

class Loaders : public ::testing::Test {
 protected:
  void SetUp() override {
    UseHeadlessPlatform();
    SetFrameHook(CountFrame, nullptr);
    presented = 0;
  }
  void TearDown() override { SetFrameHook(nullptr, nullptr); }

  // Writes bytes to a fresh file and returns its path.
  std::string WriteTemp(const std::vector<uint8_t>& bytes) {
    char path[] = "/tmp/engine3d_modelXXXXXX";
    int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    if (!bytes.empty()) {
      EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    close(fd);
    temps_.push_back(path);
    return path;
  }
  ~Loaders() override {
    for (const std::string& p : temps_) std::remove(p.c_str());
  }

 private:
  std::vector<std::string> temps_;
};

// ---- Round trips ----

TEST_F(Loaders, ThirtyTwoBitFileReadsBackWithLoadingFrames) {
  int per_call = presented;
  Frondle();
  per_call = presented - per_call;
  presented = 0;

  RawModel raw = Tetrahedron32();
  std::string path = WriteTemp(Encode32(raw));
  Object3d o = Sentinel();
  ASSERT_TRUE(Load32bit3doFile(path.c_str(), &o, 1, 1.0f));
  EXPECT_EQ(presented, 5 * per_call);  // points, lines, polygons, face and point normals
  ASSERT_EQ(o.npts, 4);
  ASSERT_EQ(o.nlines, 2);
  ASSERT_EQ(o.npolys, 4);
  EXPECT_EQ(o.pts[1].x, 100);
  EXPECT_EQ(o.pts[2].y, 100);
  EXPECT_EQ(o.pts[3].z, 100);
  EXPECT_EQ(o.pts[3].color, 0xFFFF);
  EXPECT_EQ(o.lines[1].a, 2);
  EXPECT_EQ(o.lines[1].b, 3);
  EXPECT_EQ(o.lines[0].color, 0xFFFFFF);
  EXPECT_EQ(o.polys[3].p0, 1);
  EXPECT_EQ(o.polys[3].p2, 3);
  // Triangle (0, 2, 1) lies in z = 0; its cross product is (0, 0, 100 * 100): negate 1 flips.
  EXPECT_EQ(o.normals[0].z, -256);
  ASSERT_NE(o.pt_normals, nullptr);
  EXPECT_NE(o.pt_normals[0].z, 0);
  // Placement is not the loader's business.
  EXPECT_EQ(o.rot_x, 0.5f);
  EXPECT_EQ(o.pos_z, 99.0f);
  ReleaseArrays(o);
}

TEST_F(Loaders, ThirtyTwoBitPointConversion) {
  RawModel raw;
  raw.points = {65536 + 61441, 65536 - 100, 65536 + 11264,  // scale 3: x = 0.33 -> 0
                65536 + 61439, 65536 - 301, 65536 + 11264,  // x = -0.33 -> 0, y = -100.3 -> -100
                0, 65535, 0xFFFFFFFFu};                     // below the bias: wraps negative
  Object3d o{};
  std::vector<uint8_t> bytes = Encode32(raw);
  ASSERT_TRUE(Load32bit3doData(bytes.data(), bytes.size(), &o, 1, 3.0f));
  EXPECT_EQ(o.pts[0].x, 0);
  EXPECT_EQ(o.pts[0].y, -33);
  EXPECT_EQ(o.pts[0].z, 7509);  // 1024 - 11264 / 3 + 10240 = 7509.3
  EXPECT_EQ(o.pts[1].x, 0);
  EXPECT_EQ(o.pts[1].y, -100);
  EXPECT_EQ(o.pts[2].x, -65536 / 3 - 20480);  // -21845.3 - 20480 = -42325.3
  EXPECT_EQ(o.pts[2].y, 0);                   // -1 / 3
  EXPECT_EQ(o.pts[2].z, 11264 + 21845);       // 1024 + 65537 / 3 + 10240 = 33109.6
  ReleaseArrays(o);
}

TEST_F(Loaders, ThirtyTwoBitFileByRelativePath) {
  RawModel raw = Tetrahedron32();
  std::vector<uint8_t> bytes = Encode32(raw);
  const char* name = "engine3d_relative_model.bin";
  std::FILE* f = std::fopen(name, "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  Object3d o{};
  EXPECT_TRUE(Load32bit3doFile(name, &o, 0, 1.0f));
  EXPECT_EQ(o.npolys, 4);
  EXPECT_EQ(o.normals[0].z, 256);  // negate 0 keeps the cross product's direction
  std::remove(name);
  ReleaseArrays(o);
}

TEST_F(Loaders, SixteenBitDataWithOddOffsetsAndWideIndices) {
  RawModel raw;
  for (int i = 0; i < 301; ++i) {  // 903 point bytes: everything after starts at an odd offset
    raw.points.push_back(i == 0 ? 0 : i == 1 ? 128 : 255);
    raw.points.push_back(static_cast<uint32_t>(i % 256));
    raw.points.push_back(i == 300 ? 1 : 129);
  }
  raw.lines = {299, 300, 0, 258};
  raw.polys = {0, 300, 299, 257, 258, 259};
  std::vector<uint8_t> bytes = Encode16(raw);
  Object3d o = Sentinel();
  ASSERT_TRUE(Load16bit3do(&o, bytes.data(), bytes.size(), 1));
  EXPECT_EQ(presented, 0);  // the packed loader shows no loading frames
  ASSERT_EQ(o.npts, 301);
  ASSERT_EQ(o.nlines, 2);
  ASSERT_EQ(o.npolys, 2);
  EXPECT_EQ(o.pts[0].x, -64);
  EXPECT_EQ(o.pts[1].x, 0);
  EXPECT_EQ(o.pts[2].x, 63);
  EXPECT_EQ(o.pts[1].y, -64);  // byte 1: (1 - 128) >> 1 rounds down
  EXPECT_EQ(o.pts[300].z, -64);
  EXPECT_EQ(o.pts[5].color, 0xFFFF);
  EXPECT_EQ(o.lines[0].a, 299);
  EXPECT_EQ(o.lines[0].b, 300);
  EXPECT_EQ(o.lines[1].b, 258);
  EXPECT_EQ(o.lines[1].color, 0xFFFF);
  EXPECT_EQ(o.polys[0].p1, 300);
  EXPECT_EQ(o.polys[1].p0, 257);
  EXPECT_EQ(o.polys[1].p2, 259);
  EXPECT_EQ(o.rot_x, 0.5f);
  ReleaseArrays(o);
}

TEST_F(Loaders, EmptyModelAndTrailingBytesAreAccepted) {
  std::vector<uint8_t> bytes = Encode32(RawModel{});
  bytes.push_back(0xAB);
  Object3d o = Sentinel();
  EXPECT_TRUE(Load32bit3doData(bytes.data(), bytes.size(), &o, 1, 1.0f));
  EXPECT_EQ(o.npts, 0);
  EXPECT_EQ(o.npolys, 0);
  EXPECT_EQ(o.nlines, 0);
  ReleaseArrays(o);
}

// ---- Refused models ----

// A model whose point 0 is shared by `fans` triangles.
RawModel Fan(int fans) {
  RawModel m;
  for (int i = 0; i <= fans + 1; ++i) AddPoint32(m, i, i * i % 7, 0);
  for (int i = 0; i < fans; ++i) {
    m.polys.push_back(0);
    m.polys.push_back(static_cast<uint32_t>(i + 1));
    m.polys.push_back(static_cast<uint32_t>(i + 2));
  }
  return m;
}

RawModel As16(RawModel m) {
  for (uint32_t& v : m.points) v &= 0xFF;
  return m;
}

void ExpectRefused32(const std::vector<uint8_t>& bytes, const char* what) {
  SCOPED_TRACE(what);
  Object3d o = Sentinel();
  // An exact-size heap copy lets the address checker catch any read past the end.
  uint8_t* copy = static_cast<uint8_t*>(std::malloc(bytes.size() + 1));
  std::copy(bytes.begin(), bytes.end(), copy);
  EXPECT_FALSE(Load32bit3doData(copy, bytes.size(), &o, 1, 1.0f));
  std::free(copy);
  ExpectSentinel(o);
}

void ExpectRefused16(const std::vector<uint8_t>& bytes, const char* what) {
  SCOPED_TRACE(what);
  Object3d o = Sentinel();
  uint8_t* copy = static_cast<uint8_t*>(std::malloc(bytes.size() + 1));
  std::copy(bytes.begin(), bytes.end(), copy);
  EXPECT_FALSE(Load16bit3do(&o, copy, bytes.size(), 1));
  std::free(copy);
  ExpectSentinel(o);
}

std::vector<uint8_t> WithHeader32(uint32_t npts, uint32_t nlines, uint32_t npolys, size_t body) {
  std::vector<uint8_t> out;
  Put32(out, npts);
  Put32(out, nlines);
  Put32(out, npolys);
  out.resize(out.size() + body, 0);
  return out;
}

TEST_F(Loaders, ThirtyTwoBitRefusals) {
  std::vector<uint8_t> good = Encode32(Tetrahedron32());
  ExpectRefused32({}, "no bytes");
  ExpectRefused32(std::vector<uint8_t>(good.begin(), good.begin() + 11), "short header");
  ExpectRefused32(std::vector<uint8_t>(good.begin(), good.end() - 1), "last byte missing");
  ExpectRefused32(WithHeader32(kMaxWork + 1, 0, 0, (kMaxWork + 1) * 12), "too many points");
  ExpectRefused32(WithHeader32(0, kMaxWork + 1, 0, (kMaxWork + 1) * 8), "too many lines");
  ExpectRefused32(WithHeader32(3, 0, kMaxSortedPolys + 1, 36 + (kMaxSortedPolys + 1) * 12),
                  "too many polygons");
  ExpectRefused32(WithHeader32(0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 64), "absurd counts");
  RawModel bad = Tetrahedron32();
  bad.lines[3] = 4;
  ExpectRefused32(Encode32(bad), "line past the last point");
  bad = Tetrahedron32();
  bad.polys[11] = 4;
  ExpectRefused32(Encode32(bad), "polygon past the last point");
  bad = Tetrahedron32();
  bad.polys[0] = 0xFFFFFFFFu;
  ExpectRefused32(Encode32(bad), "negative polygon index");
  ExpectRefused32(Encode32(Fan(256)), "point in 256 triangles");
  EXPECT_EQ(presented, 0);  // a refused model shows no loading frames

  Object3d o = Sentinel();
  EXPECT_FALSE(Load32bit3doFile("/nonexistent/engine3d/model.bin", &o, 1, 1.0f));
  EXPECT_FALSE(Load32bit3doFile(WriteTemp({}).c_str(), &o, 1, 1.0f));
  EXPECT_FALSE(Load32bit3doFile(nullptr, &o, 1, 1.0f));
  EXPECT_FALSE(Load32bit3doData(nullptr, 100, &o, 1, 1.0f));
  ExpectSentinel(o);

  std::vector<uint8_t> fan = Encode32(Fan(255));
  ASSERT_TRUE(Load32bit3doData(fan.data(), fan.size(), &o, 1, 1.0f));
  EXPECT_EQ(addtimes[0], 255);  // the largest count that fits
  ReleaseArrays(o);
}

TEST_F(Loaders, SixteenBitRefusals) {
  RawModel tet = As16(Tetrahedron32());
  std::vector<uint8_t> good = Encode16(tet);
  ExpectRefused16({}, "no bytes");
  ExpectRefused16(std::vector<uint8_t>(good.begin(), good.begin() + 5), "short header");
  ExpectRefused16(std::vector<uint8_t>(good.begin(), good.end() - 1), "last byte missing");
  ExpectRefused16(std::vector<uint8_t>(good.begin(), good.begin() + 6 + 11), "points cut short");
  RawModel bad = tet;
  bad.lines[0] = 4;
  ExpectRefused16(Encode16(bad), "line past the last point");
  bad = tet;
  bad.polys[5] = 0xFFFF;
  ExpectRefused16(Encode16(bad), "polygon past the last point");
  ExpectRefused16(Encode16(As16(Fan(256))), "point in 256 triangles");
  Object3d o = Sentinel();
  EXPECT_FALSE(Load16bit3do(&o, nullptr, 10, 1));
  ExpectSentinel(o);
}

// Arbitrary bytes and damaged good models: the loaders must never read outside the buffer.
TEST_F(Loaders, DamagedModelsNeverCrash) {
  std::vector<uint8_t> base32 = Encode32(Tetrahedron32());
  std::vector<uint8_t> base16 = Encode16(As16(Tetrahedron32()));
  uint32_t rng = 99;
  auto next = [&rng] {
    rng = rng * 1664525u + 1013904223u;
    return rng >> 8;
  };
  for (int round = 0; round < 2000; ++round) {
    for (const std::vector<uint8_t>* base : {&base32, &base16}) {
      std::vector<uint8_t> bytes = *base;
      bytes.resize(next() % (bytes.size() + 8));
      for (int k = next() % 4; k > 0 && !bytes.empty(); --k)
        bytes[next() % bytes.size()] = static_cast<uint8_t>(next());
      uint8_t* copy = static_cast<uint8_t*>(std::malloc(bytes.size() + 1));
      std::copy(bytes.begin(), bytes.end(), copy);
      Object3d o{};
      bool ok = base == &base32 ? Load32bit3doData(copy, bytes.size(), &o, 1, 1.0f)
                                : Load16bit3do(&o, copy, bytes.size(), 1);
      if (ok) {
        for (int i = 0; i < o.npolys; ++i) ASSERT_LT(o.polys[i].p0, o.npts);
      } else {
        EXPECT_EQ(o.pts, nullptr);
      }
      ReleaseArrays(o);
      std::free(copy);
    }
  }
}

}  // namespace
