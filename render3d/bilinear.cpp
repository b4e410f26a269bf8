// The two fillers called as functions: the unlit bilinear-filtered triangle (16.16, divisions)
// and the environment-mapped triangle (24.8, reciprocal table). The bilinear pixel, with four
// texel reads and nine multiplies, is the most expensive one in the renderer.
#include <array>
#include <cmath>

#include "platform/wide.h"
#include "render3d/render3d.h"
#include "render3d/triangle_walk.h"

namespace {

using walk::Attrs;
using walk::PolyCorner;

// One channel blended across x by fx, then across y by fy (both 16-bit fractions).
inline int32_t BlendChannel(int32_t k00, int32_t k10, int32_t k01, int32_t k11, int32_t fx,
                            int32_t fy) {
  const int32_t top = k00 + sar((k10 - k00) * fx, 16);
  const int32_t bottom = k01 + sar((k11 - k01) * fx, 16);
  return top + sar((bottom - top) * fy, 16);
}

// With AVX-512 a span takes 16 pixels per step: four gathers bring their texels and the
// blends run in 32-bit lanes, each the integers of BlendChannel (no product leaves 2^24).
#ifdef GW_X86_WIDE
#define GW_BILINEAR_WIDE 1

bool CanBlendWide() { return HasAvx512f(); }

using Ints = int32_t __attribute__((vector_size(64)));  // 16 lanes
using Words = uint32_t __attribute__((vector_size(64)));

GW_AVX512F inline Words Gather(const uint32_t* table, Words index) {
  // (The masked form with a zero start: GCC's plain gather starts from an undefined register
  // and warns.)
  return reinterpret_cast<Words>(_mm512_mask_i32gather_epi32(
      _mm512_setzero_si512(), 0xFFFF, reinterpret_cast<__m512i>(index), table, 4));
}

GW_AVX512F inline Ints Field(Words t, int bit) { return reinterpret_cast<Ints>((t >> bit) & 255); }

GW_AVX512F inline Ints Channel(Words t00, Words t10, Words t01, Words t11, int bit, Ints fx,
                               Ints fy) {
  const Ints k00 = Field(t00, bit), k10 = Field(t10, bit);
  const Ints k01 = Field(t01, bit), k11 = Field(t11, bit);
  const Ints top = k00 + (((k10 - k00) * fx) >> 16);
  const Ints bottom = k01 + (((k11 - k01) * fx) >> 16);
  return top + (((bottom - top) * fy) >> 16);
}

// The span's pixels 0 .. count - 1, at (u, v) + (k + 1) * (du, dv): BilinearFill::Plot for each.
GW_AVX512F void BilinearSpan(uint16_t* dst, int32_t count, int32_t u, int32_t v, int32_t du,
                             int32_t dv, const uint32_t* texture, int32_t shift, uint32_t side,
                             uint32_t fraction) {
  const Words k1 = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  const uint32_t wrap = side - 1, all = side * side - 1;
  for (int32_t k = 0; k < count; k += 16) {
    const int32_t left = count - k;
    const __mmask16 live = left >= 16 ? 0xFFFF : static_cast<__mmask16>((1u << left) - 1);
    const Words at = k1 + static_cast<uint32_t>(k);
    const Ints uu = reinterpret_cast<Ints>(at * uint32_t(du) + uint32_t(u));
    const Ints vv = reinterpret_cast<Ints>(at * uint32_t(dv) + uint32_t(v));
    const Words tx = reinterpret_cast<Words>((uu >> 16) >> shift);
    const Words ty = reinterpret_cast<Words>((vv >> 16) >> shift);
    const Words tx1 = (tx + 1) & wrap, ty1 = (ty + 1) & wrap;
    const Ints fx = reinterpret_cast<Ints>(reinterpret_cast<Words>(uu >> shift) & fraction);
    const Ints fy = reinterpret_cast<Ints>(reinterpret_cast<Words>(vv >> shift) & fraction);
    const Words row0 = ty * side, row1 = ty1 * side;
    const Words t00 = Gather(texture, (row0 + tx) & all), t10 = Gather(texture, (row0 + tx1) & all);
    const Words t01 = Gather(texture, (row1 + tx) & all), t11 = Gather(texture, (row1 + tx1) & all);
    const Ints red = Channel(t00, t10, t01, t11, 16, fx, fy);
    const Ints green = Channel(t00, t10, t01, t11, 8, fx, fy);
    const Ints blue = Channel(t00, t10, t01, t11, 0, fx, fy);
    const Ints pixel = ((red >> 3) << 11) | ((green >> 2) << 5) | (blue >> 3);
    _mm512_mask_cvtepi32_storeu_epi16(dst + k, live, reinterpret_cast<__m512i>(pixel));
  }
}
#endif

// kShift >= 0 fixes the shift at compile time (the cube's shift 2, whose N is 64); -1 reads the
// shift and N of the call.
template <int kShift>
struct BilinearFill {
  using Steps = walk::DivisionSteps;
  static constexpr bool kColumnTest = true;
  static constexpr std::array<bool, 2> kScaled{true, true};
  static Attrs<2> AttrsOf(const PolyCorner& c) { return {c.tu, c.tv}; }
  const uint32_t* texture;
  int32_t shift;
  uint32_t side;      // N texels a side
  uint32_t fraction;  // mask of the 16-bit fraction

  void Plot(uint16_t* dst, int32_t i, const Attrs<2>& a) const {
    const int32_t s = kShift >= 0 ? kShift : shift;
    const uint32_t n = kShift >= 0 ? (1u << (8 - kShift)) : side;
    const uint32_t f = kShift >= 0 ? 0xFFFFu : fraction;
    const int32_t tx = sar(sar(a[0], 16), s), ty = sar(sar(a[1], 16), s);
    const uint32_t wrap = n - 1;
    const uint32_t tx1 = static_cast<uint32_t>(tx + 1) & wrap;
    const uint32_t ty1 = static_cast<uint32_t>(ty + 1) & wrap;
    const int32_t fx = static_cast<int32_t>(static_cast<uint32_t>(sar(a[0], s)) & f);
    const int32_t fy = static_cast<int32_t>(static_cast<uint32_t>(sar(a[1], s)) & f);
    // Only the neighbour wraps; the address mask merely keeps a wild coordinate in the texture
    // and changes no in-range address.
    const uint32_t all = n * n - 1;
    const uint32_t row0 = static_cast<uint32_t>(ty) * n, row1 = ty1 * n;
    const uint32_t t00 = texture[(row0 + static_cast<uint32_t>(tx)) & all];
    const uint32_t t10 = texture[(row0 + tx1) & all];
    const uint32_t t01 = texture[(row1 + static_cast<uint32_t>(tx)) & all];
    const uint32_t t11 = texture[(row1 + tx1) & all];
    auto channel = [&](int bit) {
      auto k = [bit](uint32_t t) { return static_cast<int32_t>((t >> bit) & 255u); };
      return BlendChannel(k(t00), k(t10), k(t01), k(t11), fx, fy);
    };
    const int32_t red = channel(16), green = channel(8), blue = channel(0);
    dst[i] = static_cast<uint16_t>(((red >> 3) << 11) | ((green >> 2) << 5) | (blue >> 3));
  }

  // Pixels first .. first + count - 1 of one row, with `a` stepped before each, as Plot does.
  void PlotSpan(uint16_t* dst, int32_t first, int32_t count, Attrs<2> a,
                const Attrs<2>& step) const {
#ifdef GW_BILINEAR_WIDE
    if (CanBlendWide()) {
      const int32_t s = kShift >= 0 ? kShift : shift;
      const uint32_t n = kShift >= 0 ? (1u << (8 - kShift)) : side;
      const uint32_t f = kShift >= 0 ? 0xFFFFu : fraction;
      return BilinearSpan(dst + first, count, a[0], a[1], step[0], step[1], texture, s, n, f);
    }
#endif
    for (int32_t k = 0; k < count; ++k) {
      for (size_t i = 0; i < 2; ++i) a[i] = wadd(a[i], step[i]);
      Plot(dst, first + k, a);
    }
  }
};

struct EnvmapFill {
  using Steps = walk::ReciprocalSteps;
  static constexpr bool kColumnTest = true;
  static constexpr std::array<bool, 2> kScaled{true, true};
  static Attrs<2> AttrsOf(const PolyCorner& c) { return {point_tc[c.p].u, point_tc[c.p].v}; }
  const uint16_t* texture;
  int32_t shift;

  void Plot(uint16_t* dst, int32_t i, const Attrs<2>& a) const {
    const uint32_t tx = static_cast<uint32_t>(sar(sar(a[0], 8), shift));
    const uint32_t ty = static_cast<uint32_t>(sar(sar(a[1], 8), shift));
    const uint32_t all = (1u << (2 * (8 - shift))) - 1;
    dst[i] = texture[((ty << (8 - shift)) + tx) & all];
  }
};

// The bilinear pixel is the renderer's most expensive one, and its vectorised span loop runs
// about a quarter faster with AVX2's 32-bit multiplies and wider registers; the processor picks
// the clone at load time (the walk is inlined into each). Both compute the same integers.
// clang refuses the clones together with flatten, so its builds (the fuzzers) go without.
#define GW_BILINEAR_CLONES GW_CLONES("avx2", "default")

GW_BILINEAR_CLONES void DrawBilinearPolygon(const Polygon3d& poly, uint16_t* dst, int32_t shift,
                                            uint32_t side, uint32_t fraction,
                                            const uint32_t* texture) {
  if (shift == 2 && side == 64 && fraction == 0xFFFF)
    walk::DrawPolygon(BilinearFill<2>{texture, shift, side, fraction}, poly, dst);
  else
    walk::DrawPolygon(BilinearFill<-1>{texture, shift, side, fraction}, poly, dst);
}

Polygon3d MakePolygon(int32_t p0, int32_t tu0, int32_t tv0, int32_t p1, int32_t tu1, int32_t tv1,
                      int32_t p2, int32_t tu2, int32_t tv2) {
  return {p0, tu0, tv0, p1, tu1, tv1, p2, tu2, tv2, 0, 0};
}

}  // namespace

void DrawTextureTriangleBilinear(int32_t p0, int32_t tu0, int32_t tv0, int32_t p1, int32_t tu1,
                                 int32_t tv1, int32_t p2, int32_t tu2, int32_t tv2, int32_t,
                                 int32_t, uint16_t* dst, int32_t shift, const uint32_t* texture) {
  if (shift < 0 || shift > 8) return;  // textures are 1 .. 256 texels a side
  const auto side = static_cast<uint32_t>(std::pow(2.0, static_cast<double>(8 - shift)));
  const auto fraction = static_cast<uint32_t>(std::pow(2.0, 16.0) - 1);
  DrawBilinearPolygon(MakePolygon(p0, tu0, tv0, p1, tu1, tv1, p2, tu2, tv2), dst, shift, side,
                      fraction, texture);
}

void DrawEnvmappedTriangle(int32_t p0, int32_t, int32_t, int32_t p1, int32_t, int32_t, int32_t p2,
                           int32_t, int32_t, int32_t, int32_t, uint16_t* dst, int32_t shift,
                           const uint16_t* texture) {
  if (shift < 0 || shift > 8) return;
  walk::DrawPolygon(EnvmapFill{texture, shift}, MakePolygon(p0, 0, 0, p1, 0, 0, p2, 0, 0), dst);
}
