// The scanline fill kinds of the render modes, the line drawer and the point plotter.
// Each kind only says which attributes it carries, how a pixel is tested and what it
// becomes; the walk itself is the one in triangle_walk.h.
#include "render3d/fillers.h"

#include <algorithm>
#include <array>

#include "platform/demo.h"
#include "platform/wide.h"
#include "precalc/precalc.h"
#include "render3d/triangle_walk.h"

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
  // Pixels first .. first + count - 1 of one row, with `a` stepped before each, as Plot does.
  void PlotSpan(uint16_t* dst, int32_t first, int32_t count, Attrs<2> a,
                const Attrs<2>& step) const;
};

// The stars' spans, a few pixels each, are the renderer's busiest. With AVX-512 a span of up to
// 16 pixels is one masked step: every pixel's attributes at once, the depth test as a mask, and
// no branch per pixel or at the span's end to mispredict. Same values as Plot at every pixel.
#ifdef GW_X86_WIDE
#define GW_STAR_SPANS 1

bool CanMaskSpans() { return HasAvx512f(); }

// v + (k + 1) * step for the lanes k = 0 .. 15, wrapping like k + 1 repeated additions.
GW_AVX512F __m512i Steps16(int32_t v, int32_t step) {
  const __m512i k1 = _mm512_setr_epi32(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
  return _mm512_add_epi32(_mm512_set1_epi32(v), _mm512_mullo_epi32(k1, _mm512_set1_epi32(step)));
}

GW_AVX512F void ShadeRawDepthSpan(uint16_t* dst, uint32_t* depths, int32_t count, int32_t shade,
                                  int32_t depth, int32_t shade_step, int32_t depth_step) {
  for (int32_t k = 0; k < count; k += 16) {
    const int32_t left = count - k;
    const __mmask16 live = left >= 16 ? 0xFFFF : static_cast<__mmask16>((1u << left) - 1);
    const __m512i z = Steps16(depth, depth_step);
    const __m512i old = _mm512_maskz_loadu_epi32(live, depths + k);
    const __mmask16 pass = _mm512_mask_cmplt_epu32_mask(live, z, old);
    _mm512_mask_storeu_epi32(depths + k, pass, z);
    // RawShade: sar by 8, negatives to 0, the low 16 bits stored. (Zero-masked forms of the
    // shift and the maximum: GCC's plain ones start from an undefined register and warn.)
    const __m512i raw = _mm512_maskz_srai_epi32(0xFFFF, Steps16(shade, shade_step), 8);
    const __m512i shades = _mm512_maskz_max_epi32(0xFFFF, raw, _mm512_setzero_si512());
    _mm512_mask_cvtepi32_storeu_epi16(dst + k, pass, shades);
    shade = wadd(shade, wmul(16, shade_step));
    depth = wadd(depth, wmul(16, depth_step));
  }
}
#endif

// With WebAssembly SIMD a span takes four pixels per step in the same way. There are no masked
// stores: the lanes past the span's end write back what they read, so a span whose last step
// would reach past the end of the buffers takes the plain loop.
#ifdef GW_WASM_WIDE
void WasmShadeRawDepthSpan(uint16_t* dst, uint32_t* depths, int32_t count, int32_t shade,
                           int32_t depth, int32_t shade_step, int32_t depth_step) {
  const v128_t lane = wasm_i32x4_make(0, 1, 2, 3), k1 = wasm_i32x4_make(1, 2, 3, 4);
  v128_t z = wasm_i32x4_add(wasm_i32x4_splat(depth), wasm_i32x4_mul(k1, wasm_i32x4_splat(depth_step)));
  v128_t s = wasm_i32x4_add(wasm_i32x4_splat(shade), wasm_i32x4_mul(k1, wasm_i32x4_splat(shade_step)));
  const v128_t dz = wasm_i32x4_splat(wmul(4, depth_step)), ds = wasm_i32x4_splat(wmul(4, shade_step));
  for (int32_t k = 0; k < count; k += 4) {
    const v128_t live = wasm_i32x4_lt(lane, wasm_i32x4_splat(count - k));
    const v128_t old = wasm_v128_load(depths + k);
    const v128_t pass = wasm_v128_and(live, wasm_u32x4_lt(z, old));
    wasm_v128_store(depths + k, wasm_v128_bitselect(z, old, pass));
    // RawShade: sar by 8, negatives to 0, the low 16 bits stored.
    const v128_t raw = wasm_i32x4_max(wasm_i32x4_shr(s, 8), wasm_i32x4_splat(0));
    const v128_t pixels = wasm_i16x8_shuffle(raw, raw, 0, 2, 4, 6, 0, 2, 4, 6);
    const v128_t pass16 = wasm_i16x8_shuffle(pass, pass, 0, 2, 4, 6, 0, 2, 4, 6);
    const v128_t before = wasm_v128_load64_zero(dst + k);
    wasm_v128_store64_lane(dst + k, wasm_v128_bitselect(pixels, before, pass16), 0);
    z = wasm_i32x4_add(z, dz);
    s = wasm_i32x4_add(s, ds);
  }
}
#endif

void ShadeRawDepthFill::PlotSpan(uint16_t* dst, int32_t first, int32_t count, Attrs<2> a,
                                 const Attrs<2>& step) const {
#ifdef GW_STAR_SPANS
  if (CanMaskSpans())
    return ShadeRawDepthSpan(dst + first, zbuffer + first, count, a[0], a[1], step[0], step[1]);
#endif
#ifdef GW_WASM_WIDE
  if (first + ((count + 3) & ~3) <= kPixels && UseWasmWide(kWasmStarSpans))
    return WasmShadeRawDepthSpan(dst + first, zbuffer + first, count, a[0], a[1], step[0], step[1]);
#endif
  for (int32_t k = 0; k < count; ++k) {
    for (size_t i = 0; i < 2; ++i) a[i] = wadd(a[i], step[i]);
    Plot(dst, first + k, a);
  }
}

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

// The star triangles are many and small, so the walk's per-span work counts as much as the
// pixels: an AVX-512 clone of the whole walk has the masked span step inlined into it.
#define GW_STAR_CLONES GW_CLONES("arch=x86-64-v4", "default")

GW_STAR_CLONES void DrawShadeRawDepth(const Polygon3d& poly, uint16_t* dst) {
  walk::DrawPolygon(ShadeRawDepthFill{}, poly, dst);
}

}  // namespace

void FillTriangle(FillKind kind, const Polygon3d& poly, const FillSource& source, uint16_t* dst) {
  using walk::DrawPolygon;
  switch (kind) {
    case FillKind::Flat: DrawPolygon(FlatFill{source.colour}, poly, dst); break;
    case FillKind::FlatDepth: DrawPolygon(FlatDepthFill{source.colour}, poly, dst); break;
    case FillKind::ShadeRaw: DrawPolygon(ShadeRawFill{}, poly, dst); break;
    case FillKind::ShadeRawDepth: DrawShadeRawDepth(poly, dst); break;
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
