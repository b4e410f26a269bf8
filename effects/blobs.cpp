// Blobs and star fields: the 64 x 64 blob sprite stamped at any scale, additively and
// saturating at 255, into an intensity buffer. The cost is the covered pixels; all per-blob
// set-up (placement, clipping, the 16.16 step) is done once in floating point.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "effects/effects.h"
#include "platform/demo.h"
#include "platform/wide.h"
#include "precalc/precalc.h"

void ClearBlobs(uint16_t* buffer) { std::memset(buffer, 0, kPixels * sizeof(uint16_t)); }

namespace {

// The part of the sprite that lands on the screen: sprite columns c0 .. c0 + width - 1 and rows
// r0 .. r0 + height - 1 go to the screen rectangle whose top-left corner is (x0, y0). Sprite
// coordinates are 16.16, starting at (u0, v0) and advancing by step per screen pixel.
struct BlobRect {
  int32_t x0, y0, width, height;
  int32_t u0, v0, step;
};

// Clips one axis. Returns false when the blob misses the screen on this axis.
bool ClipAxis(int centre, double zoom, int32_t n, int32_t limit, int32_t& pos, int32_t& count,
              int32_t& start) {
  int64_t p = ftoi(centre - 32 * zoom);
  if (!(p <= limit - 1 && p > -64 * zoom)) return false;
  int64_t first = 0;
  start = 0;
  if (p < 0) {
    first = -p;
    start = ftoi(static_cast<double>(first) * 65536 / zoom);
    p = 0;
  }
  // The sprite ends at index n or at the screen's last pixel, whichever comes first. (Taking
  // only the screen edge would let a big blob clipped on both sides read past the sprite.)
  int64_t last = std::min<int64_t>(n, first - p + limit - 1);
  pos = static_cast<int32_t>(p);
  count = static_cast<int32_t>(std::max<int64_t>(0, last - first + 1));
  return count > 0;
}

bool PlaceBlob(int x, int y, double zoom, BlobRect& rect) {
  int32_t n = ftoi(64 * zoom - 1);
  if (n < 0) return false;
  if (!ClipAxis(x, zoom, n, kWidth, rect.x0, rect.width, rect.u0)) return false;
  if (!ClipAxis(y, zoom, n, kHeight, rect.y0, rect.height, rect.v0)) return false;
  rect.step = ftoi(65536 / zoom);
  return true;
}

inline void AddSaturated(uint16_t& d, uint32_t value) {
  d = static_cast<uint16_t>(std::min<uint32_t>(255, d + value));
}

// Sprite rows past the last one read as zeros, like the sprite's own border.
const uint8_t kZeroRow[65] = {};

inline const uint8_t* BlobRow(int32_t v) {
  uint32_t by = static_cast<uint32_t>(v) >> 16;
  return by < 64 ? blob + by * 64 : kZeroRow;
}

}  // namespace

namespace {

void StampNearest(const BlobRect& r, uint16_t* buffer) {
  int32_t v = r.v0;
  for (int32_t j = 0; j < r.height; ++j, v = wadd(v, r.step)) {
    const uint8_t* src = blob + (static_cast<uint32_t>(v) >> 16) * 64;
    uint16_t* dst = buffer + (r.y0 + j) * kWidth + r.x0;
    int32_t u = r.u0;
    for (int32_t i = 0; i < r.width; ++i, u = wadd(u, r.step))
      AddSaturated(dst[i], src[static_cast<uint32_t>(u) >> 16]);
  }
}

// With AVX-512 VBMI a whole sprite row fits one register and one permute picks every texel of
// a screen row, instead of one load per pixel: the star fields' small blobs cost a few
// instructions a row. Used when the row is at most 64 pixels and every sampled column lies in
// the sprite row; the plain loop above does the rest, and gives the same values.
#ifdef GW_X86_WIDE
#define GW_BLOB_PERMUTE 1

bool CanPermute() { return HasAvx512Vbmi(); }

// The sprite column of every pixel of a row; false when the row cannot take the permute.
bool PermuteColumns(const BlobRect& r, uint8_t (&columns)[64]) {
  if (r.width > 64) return false;
  std::memset(columns, 0, sizeof columns);
  int32_t u = r.u0;
  for (int32_t i = 0; i < r.width; ++i, u = wadd(u, r.step)) {
    uint32_t c = static_cast<uint32_t>(u) >> 16;
    if (c > 63) return false;
    columns[i] = static_cast<uint8_t>(c);
  }
  return true;
}

// The low `n` bits set: none for n <= 0, all for n >= 32.
inline uint32_t LowBits(int32_t n) {
  if (n <= 0) return 0;
  return n >= 32 ? ~0u : (1u << n) - 1;
}

GW_AVX512VBMI void AddTexels(uint16_t* dst, __m256i texels, uint32_t mask) {
  const __m512i cap = _mm512_set1_epi16(255);
  __m512i d = _mm512_maskz_loadu_epi16(mask, dst);
  // min(255, d + t) without leaving 16 bits: d is capped first, so the sum stays below 510.
  __m512i sum = _mm512_add_epi16(_mm512_min_epu16(d, cap), _mm512_cvtepu8_epi16(texels));
  d = _mm512_min_epu16(sum, cap);
  _mm512_mask_storeu_epi16(dst, mask, d);
}

GW_AVX512VBMI void StampPermuted(const BlobRect& r, const uint8_t (&columns)[64],
                                 uint16_t* buffer) {
  // (The zero-masked forms of the permute and the extracts: GCC's plain forms start from an
  // undefined register and warn about it.)
  const __m512i index = _mm512_loadu_si512(columns);
  const uint32_t left = LowBits(r.width), right = LowBits(r.width - 32);
  int32_t v = r.v0;
  for (int32_t j = 0; j < r.height; ++j, v = wadd(v, r.step)) {
    const uint8_t* src = blob + (static_cast<uint32_t>(v) >> 16) * 64;
    const __m512i row = _mm512_loadu_si512(src);
    const __m512i texels = _mm512_maskz_permutexvar_epi8(~__mmask64{0}, index, row);
    uint16_t* dst = buffer + (r.y0 + j) * kWidth + r.x0;
    AddTexels(dst, _mm512_maskz_extracti64x4_epi64(0xF, texels, 0), left);
    if (r.width > 32) AddTexels(dst + 32, _mm512_maskz_extracti64x4_epi64(0xF, texels, 1), right);
  }
}
#endif

// With WebAssembly SIMD a 64-byte sprite row is four 16-byte tables, and one swizzle per table
// looks 16 pixels up at once (an index outside a table gives 0, so the four results add up by
// or); the saturating adds then take eight pixels per step. There are no masked stores: past
// the row's end the lanes write back what they read, and a row whose last step would reach past
// the buffer's end finishes in the plain loop. Used under the same conditions as the permute
// above; the plain loop does the rest.
#ifdef GW_WASM_WIDE

// The row's sprite columns, 16 to a vector, offset for each of the four tables.
struct SwizzleColumns {
  v128_t at[4][4];  // [group of 16 pixels][table]
  int32_t groups;
};

bool WasmColumns(const BlobRect& r, SwizzleColumns& c) {
  if (r.width > 64) return false;
  alignas(16) uint8_t columns[64] = {};
  int32_t u = r.u0;
  for (int32_t i = 0; i < r.width; ++i, u = wadd(u, r.step)) {
    uint32_t col = static_cast<uint32_t>(u) >> 16;
    if (col > 63) return false;
    columns[i] = static_cast<uint8_t>(col);
  }
  c.groups = (r.width + 15) / 16;
  for (int32_t g = 0; g < c.groups; ++g) {
    const v128_t index = wasm_v128_load(columns + 16 * g);
    for (int t = 0; t < 4; ++t)
      c.at[g][t] = wasm_i8x16_sub(index, wasm_i8x16_splat(static_cast<int8_t>(16 * t)));
  }
  return true;
}

// Pixels i .. i + 7 of a row plus their texels, where only the first `live` lanes belong to the
// blob: min(255, d + t), since d + t saturating at 65535 is at least 255 wherever the true sum is.
inline void AddEight(uint16_t* dst, v128_t texels, int32_t live) {
  const v128_t d = wasm_v128_load(dst);
  const v128_t sum = wasm_u16x8_min(wasm_u16x8_add_sat(d, texels), wasm_i16x8_splat(255));
  const v128_t mine = wasm_i16x8_lt(wasm_i16x8_make(0, 1, 2, 3, 4, 5, 6, 7), wasm_i16x8_splat(static_cast<int16_t>(live)));
  wasm_v128_store(dst, wasm_v128_bitselect(sum, d, mine));
}

void WasmStampNearest(const BlobRect& r, const SwizzleColumns& c, uint16_t* buffer) {
  const int32_t span = (r.width + 7) & ~7;
  int32_t v = r.v0;
  for (int32_t j = 0; j < r.height; ++j, v = wadd(v, r.step)) {
    const uint8_t* src = blob + (static_cast<uint32_t>(v) >> 16) * 64;
    const int32_t at = (r.y0 + j) * kWidth + r.x0;
    uint16_t* dst = buffer + at;
    const int32_t wide = at + span <= kPixels ? r.width : r.width & ~7;
    v128_t table[4];
    for (int t = 0; t < 4; ++t) table[t] = wasm_v128_load(src + 16 * t);
    alignas(16) uint8_t texels[64];
    for (int32_t g = 0; g < c.groups; ++g) {
      v128_t found = wasm_i8x16_swizzle(table[0], c.at[g][0]);
      for (int t = 1; t < 4; ++t) found = wasm_v128_or(found, wasm_i8x16_swizzle(table[t], c.at[g][t]));
      wasm_v128_store(texels + 16 * g, found);
      const int32_t i = 16 * g;
      if (i < wide) AddEight(dst + i, wasm_u16x8_extend_low_u8x16(found), wide - i);
      if (i + 8 < wide) AddEight(dst + i + 8, wasm_u16x8_extend_high_u8x16(found), wide - i - 8);
    }
    for (int32_t i = wide; i < r.width; ++i) AddSaturated(dst[i], texels[i]);
  }
}
#endif

}  // namespace

void drawZoomBlobNearest(int x, int y, double zoom, uint16_t* buffer) {
  BlobRect r;
  if (!PlaceBlob(x, y, zoom, r)) return;
#ifdef GW_BLOB_PERMUTE
  uint8_t columns[64];
  if (CanPermute() && PermuteColumns(r, columns)) {
    StampPermuted(r, columns, buffer);
    return;
  }
#endif
#ifdef GW_WASM_WIDE
  SwizzleColumns columns;
  if (WasmColumns(r, columns) && UseWasmWide(kWasmBlobNearest)) {
    WasmStampNearest(r, columns, buffer);
    return;
  }
#endif
  StampNearest(r, buffer);
}

void drawZoomBlobBilinear(int x, int y, double zoom, uint16_t* buffer) {
  BlobRect r;
  if (!PlaceBlob(x, y, zoom, r)) return;
  int32_t v = r.v0;
  for (int32_t j = 0; j < r.height; ++j, v = wadd(v, r.step)) {
    const uint8_t* top = BlobRow(v);
    const uint8_t* below = BlobRow(wadd(v, 65536));
    int32_t fv = v & 0xFFFF;
    uint16_t* dst = buffer + (r.y0 + j) * kWidth + r.x0;
    int32_t u = r.u0;
    for (int32_t i = 0; i < r.width; ++i, u = wadd(u, r.step)) {
      int32_t bx = u >> 16, fu = u & 0xFFFF;
      bool inside = bx < 63;  // column 64 lies outside the sprite and reads as 0
      int32_t p00 = top[bx], p10 = below[bx];
      int32_t p01 = inside ? top[bx + 1] : 0, p11 = inside ? below[bx + 1] : 0;
      int32_t t = p00 + (((p01 - p00) * fu) >> 16);
      int32_t b = p10 + (((p11 - p10) * fu) >> 16);
      AddSaturated(dst[i], static_cast<uint32_t>(t + (((b - t) * fv) >> 16)));
    }
  }
}

void drawZoomBlob(int x, int y, double zoom, int bilinear, uint16_t* buffer) {
  if (bilinear)
    drawZoomBlobBilinear(x, y, zoom, buffer);
  else
    drawZoomBlobNearest(x, y, zoom, buffer);
}

namespace {

// The blob size of a point at depth z: zoom 0 at the spawn depth, a third at the eye.
inline float DepthZoom(float z) {
  return (static_cast<float>(starfar) - z) / static_cast<float>(wmul(3, starfar));
}

inline int Project(float coord, float z, float centre) { return ftoi(coord * 256 / z + centre); }

}  // namespace

namespace {

// sin(a / 48) and cos(a / 64) of a galaxy phase a. From one frame to the next the phases move
// by a step or two, so nearly all of them were computed a frame before: they are kept, keyed
// by the phase, and each is computed exactly as before when missing.
struct PhaseSines {
  uint32_t phase;
  bool known;
  double sine, cosine;
};
PhaseSines phase_sines[1024];

const PhaseSines& SinesOf(uint32_t phase) {
  PhaseSines& e = phase_sines[phase & 1023];
  if (!e.known || e.phase != phase) {
    double a = static_cast<double>(phase);
    e = {phase, true, std::sin(a / 48), std::cos(a / 64)};
  }
  return e;
}

}  // namespace

void Galaxy(uint16_t* buffer, int bilinear, float depth) {
  float z0 = depth + 192;
  uint32_t t = (prticks + 8192) >> 4;
  for (int32_t i = 0; i < 512; ++i) {
    const PhaseSines& a = SinesOf(t + static_cast<uint32_t>(i));
    int32_t cube = i * i * i, square = i * i;
    float gx = static_cast<float>(a.sine * (cube % 90));
    float gy = static_cast<float>(std::cos(static_cast<double>(gx) / 57.3) * (cube % 48 - 24));
    float d = static_cast<float>(a.cosine * (square % 90) + static_cast<double>(z0));
    drawZoomBlob(Project(gx, d, 160), Project(gy, d, 120), DepthZoom(d), bilinear, buffer);
  }
}

namespace {

// A coordinate of a new 3D star: uniform over the spawn square, centred on the axis.
float SpawnCoord() {
  int side = std::max(scsize, 1);
  return static_cast<float>(DemoRand() % side - side / 2);
}

}  // namespace

void BlobStars3d(uint16_t* buffer, int bilinear) {
  for (int i = 0; i < 512; ++i) {
    float z = star3dz[i];
    drawZoomBlob(Project(star3dx[i], z, 160), Project(star3dy[i], z, 120), DepthZoom(z),
                 bilinear, buffer);
    star3dz[i] = z - star3dv[i];
    if (star3dz[i] < 16) {
      star3dx[i] = SpawnCoord();
      star3dy[i] = SpawnCoord();
      star3dz[i] = static_cast<float>(starfar);
      star3dv[i] = static_cast<float>(DemoRand() % 4096 / 512 + 4);
    }
  }
}

void BlobStars2d(uint16_t* buffer, int bilinear) {
  for (int32_t i = 0; i < 256; ++i) {
    uint32_t ui = static_cast<uint32_t>(i);
    double wave = std::sin(static_cast<double>(prticks + 4 * ui) / ((i >> 1) + 256));
    double pulse = std::sin(static_cast<double>(prticks + ui * ui) / ((i >> 2) + 128));
    int sy = ftoi(static_cast<double>(stary[i]) + static_cast<double>(starw[i]) * wave);
    drawZoomBlob(ftoi(starx[i]), sy, static_cast<double>(starz[i]) + 0.2 + 0.2 * pulse, bilinear,
                 buffer);
    starx[i] -= starv[i];
    if (starx[i] < -64) {
      starx[i] = 384;
      stary[i] = static_cast<float>(DemoRand() % 240);
      // Integer quotients, as in the field's set-up: the first is always 0.
      starz[i] = static_cast<float>((DemoRand() % 4096 / 16384 + 0.25) * 0.25);
      starv[i] = static_cast<float>(DemoRand() % 4096 / 512 + 0.5);
      starw[i] = static_cast<float>(DemoRand() % 8 + 12);
    }
  }
}
