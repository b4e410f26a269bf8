// The scanline fill kinds of the render modes, the line drawer and the point plotter.
// Each kind only says which attributes it carries, how a pixel is tested and what it
// becomes; the walk itself is the one in triangle_walk.h.
#include "render3d/fillers.h"

#include <algorithm>
#include <array>

#include "precalc/precalc.h"
#include "render3d/triangle_walk.h"
#include "runtime/demo.h"

namespace {

using walk::Attrs;
using walk::DepthPasses;
using walk::PolyCorner;
using walk::ReciprocalSteps;

// A shade accumulator (24.8) as an index into a 256-entry row. Values above 255 only arise from
// step products that left the 32-bit range; they are held at the row's end.
inline int32_t ShadeIndex(int32_t s) { return std::clamp(sar(s, 8), 0, 255); }

inline uint16_t RawShade(int32_t s) { return static_cast<uint16_t>(std::max(0, sar(s, 8))); }

// Texel of a 64 x 64 map from coordinates 0..255 (one texel per 4 units). The mask keeps a
// coordinate pushed off the map by a wild step inside it and changes no in-range address.
inline uint16_t MapTexel(const uint16_t* map, int32_t u, int32_t v) {
  const uint32_t i = static_cast<uint32_t>(sar(v, 10)) * 64u + static_cast<uint32_t>(sar(u, 10));
  return map[i & 4095u];
}

inline Attrs<1> DepthOf(const PolyCorner& c) { return {fpts[c.p].z}; }

struct FlatFill {
  using Steps = ReciprocalSteps;
  static constexpr bool kColumnTest = true;
  static constexpr std::array<bool, 0> kScaled{};
  static Attrs<0> AttrsOf(const PolyCorner&) { return {}; }
  uint16_t colour;
  void Plot(uint16_t* dst, int32_t i, const Attrs<0>&) const { dst[i] = colour; }
};

struct FlatDepthFill {
  using Steps = ReciprocalSteps;
  static constexpr bool kColumnTest = false;
  static constexpr std::array<bool, 1> kScaled{false};
  static Attrs<1> AttrsOf(const PolyCorner& c) { return DepthOf(c); }
  uint16_t colour;
  void Plot(uint16_t* dst, int32_t i, const Attrs<1>& a) const {
    if (DepthPasses(i, a[0])) dst[i] = colour;
  }
};

struct ShadeRawFill {
  using Steps = ReciprocalSteps;
  static constexpr bool kColumnTest = true;
  static constexpr std::array<bool, 1> kScaled{true};
  static Attrs<1> AttrsOf(const PolyCorner& c) { return {spts[c.p].shade}; }
  void Plot(uint16_t* dst, int32_t i, const Attrs<1>& a) const { dst[i] = RawShade(a[0]); }
};

struct ShadeRawDepthFill {
  using Steps = ReciprocalSteps;
  static constexpr bool kColumnTest = true;
  static constexpr std::array<bool, 2> kScaled{true, false};
  static Attrs<2> AttrsOf(const PolyCorner& c) { return {spts[c.p].shade, fpts[c.p].z}; }
  void Plot(uint16_t* dst, int32_t i, const Attrs<2>& a) const {
    if (DepthPasses(i, a[1])) dst[i] = RawShade(a[0]);
  }
};

struct ShadeRowFill {
  using Steps = ReciprocalSteps;
  static constexpr bool kColumnTest = true;
  static constexpr std::array<bool, 1> kScaled{true};
  static Attrs<1> AttrsOf(const PolyCorner& c) { return {spts[c.p].shade}; }
  const uint16_t* row;
  void Plot(uint16_t* dst, int32_t i, const Attrs<1>& a) const { dst[i] = row[ShadeIndex(a[0])]; }
};

struct ShadeRowDepthFill {
  using Steps = ReciprocalSteps;
  static constexpr bool kColumnTest = true;
  static constexpr std::array<bool, 2> kScaled{true, false};
  static Attrs<2> AttrsOf(const PolyCorner& c) { return {spts[c.p].shade, fpts[c.p].z}; }
  const uint16_t* row;
  void Plot(uint16_t* dst, int32_t i, const Attrs<2>& a) const {
    if (DepthPasses(i, a[1])) dst[i] = row[ShadeIndex(a[0])];
  }
};

struct Texture256Fill {
  using Steps = ReciprocalSteps;
  static constexpr bool kColumnTest = false;
  static constexpr std::array<bool, 2> kScaled{true, true};
  static Attrs<2> AttrsOf(const PolyCorner& c) { return {c.tu, c.tv}; }
  const uint16_t* texture;
  void Plot(uint16_t* dst, int32_t i, const Attrs<2>& a) const {
    // Masking the whole address keeps every in-table address as it is.
    const uint32_t t = static_cast<uint32_t>(sar(a[0], 8)) + static_cast<uint32_t>(sar(a[1], 8)) * 256u;
    dst[i] = texture[t & 0xFFFFu];
  }
};

struct EnvTextureDepthFill {
  using Steps = ReciprocalSteps;
  static constexpr bool kColumnTest = false;
  static constexpr std::array<bool, 3> kScaled{true, true, false};
  static Attrs<3> AttrsOf(const PolyCorner& c) { return {c.tu, c.tv, fpts[c.p].z}; }
  const uint16_t* map;
  void Plot(uint16_t* dst, int32_t i, const Attrs<3>& a) const {
    if (DepthPasses(i, a[2])) dst[i] = MapTexel(map, a[0], a[1]);
  }
};

struct EnvPointDepthFill {
  using Steps = ReciprocalSteps;
  static constexpr bool kColumnTest = false;
  static constexpr std::array<bool, 3> kScaled{true, true, false};
  static Attrs<3> AttrsOf(const PolyCorner& c) {
    return {point_tc[c.p].u, point_tc[c.p].v, fpts[c.p].z};
  }
  const uint16_t* map;
  void Plot(uint16_t* dst, int32_t i, const Attrs<3>& a) const {
    if (DepthPasses(i, a[2])) dst[i] = MapTexel(map, a[0], a[1]);
  }
};

}  // namespace

void FillTriangle(FillKind kind, const Polygon3d& poly, const FillSource& source, uint16_t* dst) {
  using walk::DrawPolygon;
  switch (kind) {
    case FillKind::Flat: DrawPolygon(FlatFill{source.colour}, poly, dst); break;
    case FillKind::FlatDepth: DrawPolygon(FlatDepthFill{source.colour}, poly, dst); break;
    case FillKind::ShadeRaw: DrawPolygon(ShadeRawFill{}, poly, dst); break;
    case FillKind::ShadeRawDepth: DrawPolygon(ShadeRawDepthFill{}, poly, dst); break;
    case FillKind::ShadeRow: DrawPolygon(ShadeRowFill{source.texels}, poly, dst); break;
    case FillKind::ShadeRowDepth: DrawPolygon(ShadeRowDepthFill{source.texels}, poly, dst); break;
    case FillKind::Texture256: DrawPolygon(Texture256Fill{source.texels}, poly, dst); break;
    case FillKind::EnvTextureDepth: DrawPolygon(EnvTextureDepthFill{source.texels}, poly, dst); break;
    case FillKind::EnvPointDepth: DrawPolygon(EnvPointDepthFill{source.texels}, poly, dst); break;
  }
}

void PlotPoints(int32_t npts, uint16_t* dst) {
  for (int32_t i = 0; i < npts; ++i) {
    const int32_t x = spts[i].x, y = spts[i].y;
    if (x >= 0 && x < kWidth && y >= 0 && y < kHeight) dst[y * kWidth + x] = 0xFFFF;
  }
}

namespace {

inline void PutLinePixel(uint16_t* dst, int64_t index, int32_t colour) {
  if (index >= 0 && index < kPixels) dst[index] = static_cast<uint16_t>(colour);
}

// 20.12 walk along the longer axis; the end point is not drawn. Lines longer than the
// reciprocal table reaches are not drawn.
void DrawLine(const ScreenPoint& a, const ScreenPoint& b, int32_t colour, uint16_t* dst) {
  const int32_t* recip = pdiv + 4096;
  const int64_t dx = int64_t{b.x} - a.x, dy = int64_t{b.y} - a.y;
  const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  if (ady < adx) {
    if (dx < -4096 || dx > 4095) return;
    const ScreenPoint& from = a.x > b.x ? b : a;
    const int32_t slope = sar(wmul(shl(static_cast<int32_t>(dy), 12), recip[dx]), 16);
    int32_t acc = shl(from.y, 12);
    for (int64_t x = from.x; x < from.x + adx; ++x) {
      acc = wadd(acc, slope);
      PutLinePixel(dst, int64_t{sar(acc, 12)} * kWidth + x, colour);
    }
  } else {
    if (dy == 0 || dy < -4096 || dy > 4095) return;
    const ScreenPoint& from = a.y > b.y ? b : a;
    const int32_t slope = sar(wmul(shl(static_cast<int32_t>(dx), 12), recip[dy]), 16);
    int32_t acc = shl(from.x, 12);
    for (int64_t y = from.y; y < from.y + ady; ++y) {
      acc = wadd(acc, slope);
      PutLinePixel(dst, y * kWidth + sar(acc, 12), colour);
    }
  }
}

}  // namespace

void DrawLines(const Line3d* lines, int32_t nlines, uint16_t* dst) {
  for (int32_t i = 0; i < nlines; ++i) DrawLine(spts[lines[i].a], spts[lines[i].b], lines[i].color, dst);
}
