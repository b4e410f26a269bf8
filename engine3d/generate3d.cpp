// The three objects the scenes draw, built by code at start-up, and the two model loaders.
// The loaders take untrusted bytes: they check a whole model into temporaries first and only
// then replace the object, so a bad model leaves it exactly as it was.
#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine3d/engine3d.h"
#include "platform/demo.h"
#include "precalc/precalc.h"

namespace {

template <typename T>
T* AllocArray(int32_t count) {
  return static_cast<T*>(std::calloc(static_cast<size_t>(count), sizeof(T)));
}

void BeginShape(Object3d* obj, int32_t npts, int32_t npolys) {
  obj->npts = npts;
  obj->npolys = npolys;
  obj->nlines = 0;
  obj->pts = AllocArray<Point3d>(npts);
  obj->polys = AllocArray<Polygon3d>(npolys);
  obj->lines = nullptr;
}

void SetCorners(Polygon3d& pl, int32_t p0, int32_t p1, int32_t p2) {
  pl.p0 = p0;
  pl.p1 = p1;
  pl.p2 = p2;
}

void SetTexture(Polygon3d& pl, int32_t u0, int32_t v0, int32_t u1, int32_t v1, int32_t u2,
                int32_t v2) {
  pl.tu0 = u0;
  pl.tv0 = v0;
  pl.tu1 = u1;
  pl.tv1 = v1;
  pl.tu2 = u2;
  pl.tv2 = v2;
}

void MakeCube(Object3d* obj) {
  static const int32_t kCorner[8][3] = {{-64, 64, -64}, {-64, -64, -64}, {64, -64, -64},
                                        {64, 64, -64},  {-64, 64, 64},   {-64, -64, 64},
                                        {64, -64, 64},  {64, 64, 64}};
  static const int32_t kTri[12][3] = {{0, 1, 2}, {0, 2, 3}, {7, 6, 5}, {7, 5, 4},
                                      {3, 2, 6}, {3, 6, 7}, {4, 5, 1}, {4, 1, 0},
                                      {4, 0, 3}, {4, 3, 7}, {1, 5, 6}, {1, 6, 2}};
  BeginShape(obj, 8, 12);
  for (int i = 0; i < 8; ++i) {
    obj->pts[i].x = kCorner[i][0];
    obj->pts[i].y = kCorner[i][1];
    obj->pts[i].z = kCorner[i][2];
  }
  for (int i = 0; i < 12; ++i) {
    Polygon3d& pl = obj->polys[i];
    SetCorners(pl, kTri[i][0], kTri[i][1], kTri[i][2]);
    if (i % 2 == 0)
      SetTexture(pl, 16, 16, 16, 239, 239, 239);
    else
      SetTexture(pl, 16, 16, 239, 239, 239, 16);
  }
}

void SetPoint(Point3d& p, int32_t x, int32_t y, int32_t z) {
  p.x = x;
  p.y = y;
  p.z = z;
}

// The six faces of a cube, each a grid centred on its face: (a, b) run across the face with
// a2 = -a and b2 = -b, and `out` is the face's distance from the centre.
void SetFacePoint(Point3d& p, int face, int32_t a, int32_t a2, int32_t b, int32_t b2,
                  int32_t out) {
  switch (face) {
    case 0: SetPoint(p, a, b, -out); break;
    case 1: SetPoint(p, a2, b, out); break;
    case 2: SetPoint(p, out, b, a); break;
    case 3: SetPoint(p, -out, b, a2); break;
    case 4: SetPoint(p, a, out, b); break;
    default: SetPoint(p, a, -out, b2); break;
  }
}

// Texture coordinate of grid line k of a subdivided face: 16, 75, 135, 195, 255.
int32_t GridTexel(int k) { return static_cast<int32_t>(static_cast<float>(k) / 4.0f * 239.0f + 16.0f); }

void MakeSubdividedCube(Object3d* obj) {
  BeginShape(obj, 150, 192);
  for (int f = 0; f < 6; ++f)
    for (int m = 0; m < 5; ++m)
      for (int n = 0; n < 5; ++n)
        SetFacePoint(obj->pts[25 * f + 5 * m + n], f, (n - 2) * 8, (2 - n) * 8, (m - 2) * 8,
                     (2 - m) * 8, 16);
  for (int f = 0; f < 6; ++f) {
    int32_t base = 25 * f;
    for (int r = 0; r < 4; ++r)
      for (int s = 0; s < 4; ++s) {
        int32_t u0 = GridTexel(s), u1 = GridTexel(s + 1);
        int32_t v0 = GridTexel(r), v1 = GridTexel(r + 1);
        int32_t top = base + 5 * r + s, bottom = base + 5 * (r + 1) + s;
        Polygon3d& first = obj->polys[32 * f + 8 * r + 2 * s];
        Polygon3d& second = obj->polys[32 * f + 8 * r + 2 * s + 1];
        SetCorners(first, top, top + 1, bottom);
        SetTexture(first, u0, v0, u1, v0, u0, v1);
        SetCorners(second, bottom, top + 1, bottom + 1);
        SetTexture(second, u0, v1, u1, v0, u1, v1);
      }
  }
}

void MakeStar(Object3d* obj) {
  static const int32_t kTri[8][3] = {{0, 1, 3}, {3, 1, 4}, {5, 1, 2}, {4, 1, 5},
                                     {3, 7, 6}, {4, 7, 3}, {8, 7, 5}, {5, 7, 4}};
  BeginShape(obj, 54, 48);
  for (int f = 0; f < 6; ++f)
    for (int j = 0; j < 3; ++j)
      for (int i = 0; i < 3; ++i) {
        int h = 1 + (i == 1) + (j == 1);
        SetFacePoint(obj->pts[9 * f + 3 * j + i], f, (i - 1) * 8, (1 - i) * 8, (j - 1) * 8,
                     (1 - j) * 8, 8 * h);
      }
  for (int f = 0; f < 6; ++f) {
    int32_t g = 9 * f;
    for (int k = 0; k < 8; ++k)
      SetCorners(obj->polys[8 * f + k], g + kTri[k][0], g + kTri[k][1], g + kTri[k][2]);
  }
}

}  // namespace

void InitTestObject(Object3d* obj, int type) {
  switch (type) {
    case 0: MakeCube(obj); break;
    case 1: MakeSubdividedCube(obj); break;
    case 2: MakeStar(obj); break;
    default: return;
  }
  obj->rot_x = obj->rot_y = obj->rot_z = 0.0f;
  obj->pos_x = obj->pos_y = 0.0f;
  obj->pos_z = 256.0f;
  CalcNorms(obj, 1);
  CalcPtNorms(obj);
}

void Init3d() {
  for (int i = 0; i < maxobj; ++i) InitTestObject(&object[i], i);
}

// ---- Model loaders ----
//
// Both formats are a header of three counts (points, lines, polygons) followed by the points,
// the lines and the polygons, packed little-endian. A model is refused (false, object
// untouched) when the bytes end before the counts say, when a count exceeds what the working
// arrays hold (points and lines 262144, polygons 65536 because the depth sort keeps 16-bit
// polygon indices), when a line or polygon names a point that does not exist, or when a point
// belongs to more than 255 triangles (its 8-bit use count would wrap). Bytes after the last
// polygon are ignored. Both take (data, size) and read nothing outside it, so they can be fed
// arbitrary bytes, e.g. by a fuzzer.

namespace {

// A model checked and converted, not yet given to an object.
struct ParsedModel {
  std::vector<Point3d> pts;
  std::vector<Line3d> lines;
  std::vector<Polygon3d> polys;
};

class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  // Callers check the whole length first (BodyFits); the assert guards that in Debug builds.
  uint8_t U8() {
    assert(pos_ < size_);
    return data_[pos_++];
  }
  uint32_t U16() {
    uint32_t lo = U8();
    return lo | (static_cast<uint32_t>(U8()) << 8);
  }
  uint32_t U32() {
    uint32_t lo = U16();
    return lo | (U16() << 16);
  }
  void Skip(size_t n) { pos_ += n; }
  size_t remaining() const { return size_ - pos_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

constexpr uint32_t kMaxModelPoints = kMaxWork;
constexpr uint32_t kMaxModelLines = kMaxWork;
constexpr uint32_t kMaxModelPolys = kMaxSortedPolys;

bool CountsFit(uint32_t npts, uint32_t nlines, uint32_t npolys) {
  return npts <= kMaxModelPoints && nlines <= kMaxModelLines && npolys <= kMaxModelPolys;
}

// Sizes in bytes of the point, line and polygon records of a format after its header.
struct RecordSizes {
  uint64_t point, line, poly;
};

bool BodyFits(const ByteReader& in, uint32_t npts, uint32_t nlines, uint32_t npolys,
              RecordSizes rs) {
  uint64_t need = npts * rs.point + nlines * rs.line + npolys * rs.poly;
  return need <= in.remaining();
}

bool IndicesValid(const ParsedModel& m) {
  uint32_t n = static_cast<uint32_t>(m.pts.size());
  auto ok = [n](int32_t p) { return p >= 0 && static_cast<uint32_t>(p) < n; };
  for (const Line3d& l : m.lines)
    if (!ok(l.a) || !ok(l.b)) return false;
  std::vector<uint32_t> uses(n, 0);
  for (const Polygon3d& pl : m.polys) {
    if (!ok(pl.p0) || !ok(pl.p1) || !ok(pl.p2)) return false;
    if (++uses[pl.p0] > 255 || ++uses[pl.p1] > 255 || ++uses[pl.p2] > 255) return false;
  }
  return true;
}

void ReadLines(ByteReader& in, ParsedModel& m, bool wide, int32_t color) {
  for (Line3d& l : m.lines) {
    l.a = static_cast<int32_t>(wide ? in.U32() : in.U16());
    l.b = static_cast<int32_t>(wide ? in.U32() : in.U16());
    l.color = color;
  }
}

void ReadPolys(ByteReader& in, ParsedModel& m, bool wide) {
  for (Polygon3d& pl : m.polys) {
    pl.p0 = static_cast<int32_t>(wide ? in.U32() : in.U16());
    pl.p1 = static_cast<int32_t>(wide ? in.U32() : in.U16());
    pl.p2 = static_cast<int32_t>(wide ? in.U32() : in.U16());
  }
}

// Raw 32-bit coordinates are offset by 65536, scaled, and moved into place; z is reversed.
int32_t Unbias(uint32_t raw) { return wsub(static_cast<int32_t>(raw), 65536); }

void ReadPoints32(ByteReader& in, ParsedModel& m, float scale) {
  for (Point3d& p : m.pts) {
    float x = static_cast<float>(Unbias(in.U32()));
    float y = static_cast<float>(Unbias(in.U32()));
    float z = static_cast<float>(Unbias(in.U32()));
    p.x = ftoi(x / scale - 16384.0f - 4096.0f);
    p.y = ftoi(y / scale);
    p.z = ftoi(1024.0f - z / scale + 10240.0f);
    p.color = 0xFFFF;
  }
}

// A packed coordinate byte b stands for (b - 128) >> 1, that is -64..63.
int32_t Unpack16(uint8_t b) { return sar(static_cast<int32_t>(b) - 128, 1); }

void ReadPoints16(ByteReader& in, ParsedModel& m) {
  for (Point3d& p : m.pts) {
    p.x = Unpack16(in.U8());
    p.y = Unpack16(in.U8());
    p.z = Unpack16(in.U8());
    p.color = 0xFFFF;
  }
}

// Index checks need the points' count only, so they run on the raw indices before anything
// of the model is converted.
bool ReadIndices(const uint8_t* data, size_t size, size_t points_end, uint32_t npts,
                 ParsedModel& m, bool wide, int32_t line_color) {
  ByteReader in(data, size);
  in.Skip(points_end);
  ReadLines(in, m, wide, line_color);
  ReadPolys(in, m, wide);
  m.pts.resize(npts);
  return IndicesValid(m);
}

// Hands the checked model to the object: the rotation, position and materials stay.
void Commit(ParsedModel& m, Object3d* obj, int negate, bool show_progress) {
  Object3d built = *obj;
  built.npts = static_cast<int32_t>(m.pts.size());
  built.nlines = static_cast<int32_t>(m.lines.size());
  built.npolys = static_cast<int32_t>(m.polys.size());
  built.pts = AllocArray<Point3d>(built.npts);
  built.lines = AllocArray<Line3d>(built.nlines);
  built.polys = AllocArray<Polygon3d>(built.npolys);
  std::copy(m.pts.begin(), m.pts.end(), built.pts);
  std::copy(m.lines.begin(), m.lines.end(), built.lines);
  std::copy(m.polys.begin(), m.polys.end(), built.polys);
  CalcNorms(&built, negate);
  if (show_progress) LoadingFrame();
  CalcPtNorms(&built);
  if (show_progress) LoadingFrame();
  *obj = built;
}

}  // namespace

bool Load32bit3doData(const uint8_t* data, size_t size, Object3d* obj, int negate, float scale) {
  if (data == nullptr || size < 12) return false;
  ByteReader in(data, size);
  uint32_t npts = in.U32(), nlines = in.U32(), npolys = in.U32();
  if (!CountsFit(npts, nlines, npolys) || !BodyFits(in, npts, nlines, npolys, {12, 8, 12}))
    return false;
  ParsedModel m;
  m.lines.resize(nlines);
  m.polys.resize(npolys);
  if (!ReadIndices(data, size, 12 + size_t{npts} * 12, npts, m, true, 0xFFFFFF)) return false;
  // The model is sound: convert it, with a loading frame after the points, the lines and the
  // polygons as the reading steps go.
  ReadPoints32(in, m, scale);
  LoadingFrame();
  LoadingFrame();
  LoadingFrame();
  Commit(m, obj, negate, true);
  return true;
}

// The file is looked for exactly where the caller's path says: a relative path is taken from
// the working directory, as with every other file the demo reads. Only as many bytes as the
// largest acceptable model can hold are read, so an endless device cannot hold the loader up.
bool Load32bit3doFile(const char* filename, Object3d* obj, int negate, float scale) {
  constexpr size_t kMaxModelBytes =
      12 + size_t{kMaxModelPoints} * 12 + size_t{kMaxModelLines} * 8 + size_t{kMaxModelPolys} * 12;
  if (filename == nullptr) return false;
  std::FILE* f = std::fopen(filename, "rb");
  if (f == nullptr) return false;
  std::vector<uint8_t> bytes(kMaxModelBytes);
  size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return Load32bit3doData(bytes.data(), got, obj, negate, scale);
}

bool Load16bit3do(Object3d* obj, const uint8_t* data, size_t size, int negate) {
  if (data == nullptr || size < 6) return false;
  ByteReader in(data, size);
  uint32_t npts = in.U16(), nlines = in.U16(), npolys = in.U16();
  if (!CountsFit(npts, nlines, npolys) || !BodyFits(in, npts, nlines, npolys, {3, 4, 6}))
    return false;
  ParsedModel m;
  m.lines.resize(nlines);
  m.polys.resize(npolys);
  if (!ReadIndices(data, size, 6 + size_t{npts} * 3, npts, m, false, 0xFFFF)) return false;
  ReadPoints16(in, m);
  Commit(m, obj, negate, false);
  return true;
}
