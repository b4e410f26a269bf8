// The one triangle walk of the renderer: corners sorted by y, an upper and a lower part, each
// span written one row below its scanline with the right end excluded. Every fill kind is a
// small policy (attributes, pixel test, pixel value) plugged into this skeleton; the cost is
// in WalkSpan's inner loop, which is additions and the kind's Plot only.
#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "engine3d/engine3d.h"
#include "platform/demo.h"
#include "precalc/precalc.h"
#include "render3d/render3d.h"

namespace walk {

// 24.8 steps from the reciprocal table, which covers runs of 1 .. 4095 rows or pixels.
struct ReciprocalSteps {
  static constexpr int kFrac = 8;
  static constexpr int64_t kMaxRun = 4095;
  static int32_t Step(int32_t diff, int64_t n) {
    const int32_t* recip = pdiv + 4096;
    return sar(wmul(diff, recip[n]), 16);
  }
};

// 16.16 steps by integer division (the bilinear filler); any run length is valid.
struct DivisionSteps {
  static constexpr int kFrac = 16;
  static constexpr int64_t kMaxRun = INT64_MAX;
  static int32_t Step(int32_t diff, int64_t n) {
    // A 32-bit division is much cheaper than a 64-bit one; runs beyond 2^31 are never drawn.
    if (n > INT32_MAX) return static_cast<int32_t>(diff / n);
    return diff / static_cast<int32_t>(n);
  }
};

template <size_t N>
using Attrs = std::array<int32_t, N>;

template <size_t N>
struct Corner {
  int32_t x, y;
  Attrs<N> a;  // plain units, as stored per point or polygon
};

template <size_t N>
struct Edge {
  int32_t x;
  Attrs<N> a;
};

// v + k * step in 32-bit wrapping arithmetic: equal to k repeated additions, so a walk may jump
// over rows or pixels that cannot be written without changing any value it does write.
inline int32_t Advance(int32_t v, int64_t k, int32_t step) {
  return static_cast<int32_t>(static_cast<uint32_t>(v) +
                              static_cast<uint32_t>(k) * static_cast<uint32_t>(step));
}

template <class Kind, size_t N>
Edge<N> StartAt(const Corner<N>& c) {
  constexpr int f = Kind::Steps::kFrac;
  Edge<N> e{shl(c.x, f), {}};
  for (size_t i = 0; i < N; ++i) e.a[i] = Kind::kScaled[i] ? shl(c.a[i], f) : c.a[i];
  return e;
}

template <class Kind, size_t N>
Edge<N> EdgeSteps(const Corner<N>& from, const Corner<N>& to) {
  using Steps = typename Kind::Steps;
  constexpr int f = Steps::kFrac;
  Edge<N> d{0, {}};
  const int64_t n = static_cast<int64_t>(to.y) - from.y;
  if (n == 0) return d;
  d.x = Steps::Step(shl(wsub(to.x, from.x), f), n);
  for (size_t i = 0; i < N; ++i) {
    const int32_t diff = wsub(to.a[i], from.a[i]);
    d.a[i] = Steps::Step(Kind::kScaled[i] ? shl(diff, f) : diff, n);
  }
  return d;
}

// Draws one span into `row` between two edge positions. Only the columns whose pixels can pass
// the kind's position test are visited; their attributes are the ones the full walk would give.
template <class Kind, size_t N>
void WalkSpan(const Kind& kind, int64_t row, Edge<N> left, Edge<N> right, uint16_t* dst) {
  using Steps = typename Kind::Steps;
  int32_t xl = sar(left.x, Steps::kFrac);
  int32_t xr = sar(right.x, Steps::kFrac);
  if (xl > xr) {
    std::swap(xl, xr);
    std::swap(left, right);
  }
  const int64_t width = static_cast<int64_t>(xr) - xl;
  if (width == 0 || width > Steps::kMaxRun) return;
  Attrs<N> step;
  for (size_t i = 0; i < N; ++i) step[i] = Steps::Step(wsub(right.a[i], left.a[i]), width);

  const int64_t base = row * kWidth;
  int64_t lo = xl, hi = xr;
  if constexpr (Kind::kColumnTest) {
    if (row < 0 || row >= kHeight) return;
    lo = std::max<int64_t>(lo, 0);
    hi = std::min<int64_t>(hi, kWidth);
  } else {
    // Index only: a span leaving the row continues on its neighbour.
    lo = std::max<int64_t>(lo, -base);
    hi = std::min<int64_t>(hi, kPixels - base);
  }
  if (lo >= hi) return;
  Attrs<N> a;
  for (size_t i = 0; i < N; ++i) a[i] = Advance(left.a[i], lo - xl, step[i]);
  const int32_t first = static_cast<int32_t>(base + lo);
  const int32_t count = static_cast<int32_t>(hi - lo);
  if constexpr (requires { kind.PlotSpan(dst, first, count, a, step); }) {
    kind.PlotSpan(dst, first, count, a, step);  // a kind may draw its spans in one go
  } else {
    for (int32_t k = 0; k < count; ++k) {
      for (size_t i = 0; i < N; ++i) a[i] = wadd(a[i], step[i]);
      kind.Plot(dst, first + k, a);
    }
  }
}

// One part of the triangle: `count` spans from row `firstRow` on, both edges stepping after each.
// On return `longEdge` holds its value after all `count` steps, ready for the lower part.
template <class Kind, size_t N>
void WalkPart(const Kind& kind, Edge<N> shortEdge, const Edge<N>& shortStep, Edge<N>& longEdge,
              const Edge<N>& longStep, int64_t firstRow, int64_t count, uint16_t* dst) {
  if (count <= 0) return;
  int64_t k0 = 0, k1 = count;
  if constexpr (Kind::kColumnTest) {  // rows off the screen cannot write: jump over them
    k0 = std::clamp<int64_t>(-firstRow, 0, count);
    k1 = std::clamp<int64_t>(kHeight - firstRow, k0, count);
  }
  auto at = [](const Edge<N>& e, const Edge<N>& s, int64_t k) {
    Edge<N> r{Advance(e.x, k, s.x), {}};
    for (size_t i = 0; i < N; ++i) r.a[i] = Advance(e.a[i], k, s.a[i]);
    return r;
  };
  Edge<N> s = at(shortEdge, shortStep, k0);
  Edge<N> l = at(longEdge, longStep, k0);
  for (int64_t k = k0; k < k1; ++k) {
    WalkSpan(kind, firstRow + k, s, l, dst);
    s = at(s, shortStep, 1);
    l = at(l, longStep, 1);
  }
  longEdge = at(longEdge, longStep, count);
}

template <class Kind, size_t N>
void WalkTriangle(const Kind& kind, Corner<N> c0, Corner<N> c1, Corner<N> c2, uint16_t* dst) {
  static_assert(Kind::kColumnTest || Kind::Steps::kMaxRun <= 4095,
                "an index-only kind needs bounded runs, or a far corner would walk for ever");
  if (c1.y < c0.y) std::swap(c0, c1);
  if (c2.y < c0.y) std::swap(c0, c2);
  if (c2.y < c1.y) std::swap(c1, c2);
  // A corner far off screen (a stale position of a point behind the viewer) makes edges longer
  // than the step rule covers: such a triangle is not drawn.
  if (static_cast<int64_t>(c2.y) - c0.y > Kind::Steps::kMaxRun) return;
  const Edge<N> upper = EdgeSteps<Kind>(c0, c1);
  const Edge<N> lower = EdgeSteps<Kind>(c1, c2);
  const Edge<N> along = EdgeSteps<Kind>(c0, c2);
  Edge<N> longEdge = StartAt<Kind>(c0);
  WalkPart(kind, StartAt<Kind>(c0), upper, longEdge, along, int64_t{c0.y} + 1,
           int64_t{c1.y} - c0.y, dst);
  WalkPart(kind, StartAt<Kind>(c1), lower, longEdge, along, int64_t{c1.y} + 1,
           int64_t{c2.y} - c1.y, dst);
}

// A polygon corner: point index and the polygon's texture coordinates at that corner.
struct PolyCorner {
  int32_t p, tu, tv;
};

inline PolyCorner CornerOf(const Polygon3d& poly, int k) {
  if (k == 0) return {poly.p0, poly.tu0, poly.tv0};
  if (k == 1) return {poly.p1, poly.tu1, poly.tv1};
  return {poly.p2, poly.tu2, poly.tv2};
}

// Walks a polygon whose screen corners come from spts; the kind picks each corner's attributes.
template <class Kind>
void DrawPolygon(const Kind& kind, const Polygon3d& poly, uint16_t* dst) {
  constexpr size_t N = Kind::kScaled.size();
  Corner<N> c[3];
  for (int k = 0; k < 3; ++k) {
    const PolyCorner pc = CornerOf(poly, k);
    c[k] = {spts[pc.p].x, spts[pc.p].y, Kind::AttrsOf(pc)};
  }
  WalkTriangle(kind, c[0], c[1], c[2], dst);
}

// Strict unsigned depth test and write: smaller is nearer, equal depth loses.
inline bool DepthPasses(int32_t index, int32_t z) {
  const uint32_t depth = static_cast<uint32_t>(z);
  if (depth >= zbuffer[index]) return false;
  zbuffer[index] = depth;
  return true;
}

}  // namespace walk
