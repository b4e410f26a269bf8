// Full-screen effects: plasma, polar pattern, the rotozoomers, the sine wipe, the palette
// lookup and the separable box blur. Every routine is one pass over 76,800 pixels; the cost is
// in the inner loops, which do table lookups and integer arithmetic only.
#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "data/assets.h"
#include "effects/effects.h"
#include "platform/demo.h"
#include "platform/wide.h"
#include "precalc/precalc.h"

namespace {

// Pixel pairs travel as 32-bit words, the even pixel in the low half; memcpy keeps the word
// access free of aliasing assumptions and compiles to a plain load or store.
inline uint32_t LoadPair(const uint16_t* p) {
  uint32_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}
inline void StorePair(uint16_t* p, uint32_t w) { std::memcpy(p, &w, sizeof w); }

// The loops that gain most from wider registers get AVX-512 (x86-64-v4) and AVX2 clones as
// well; the processor picks a clone at load time, and all compute the same integers. (clang
// does not take the clones together with flatten, so its builds go without.)

}  // namespace

void ClearScreen(uint16_t* buffer) { std::memset(buffer, 0, kPixels * sizeof(uint16_t)); }

// Palette lookups. A palette is a row of `shades` and a value indexes from the row's first
// entry, so a value above 255 takes its colour from the rows below (the Gouraud stars overshoot
// at their bright edges). Only a value that would reach past the end of `shades` is held at its
// last entry; a palette outside `shades` is held within its own 256 entries.
// With AVX-512BW the first 256 entries sit in eight registers and 32 pixels are looked up by
// four two-register permutes and a choice among their results, instead of one load per pixel;
// the rare group of 32 that holds a value above 255 is looked up one pixel at a time, as the
// plain loop does everywhere.
namespace {

constexpr uint32_t kShadeEntries = sizeof shades / sizeof shades[0];

// The largest index the palette may be read at.
uint32_t LastIndex(const uint16_t* palette) {
  const auto at = reinterpret_cast<uintptr_t>(palette);
  const auto first = reinterpret_cast<uintptr_t>(shades);
  if (at < first || at >= first + sizeof shades) return 255;
  return kShadeEntries - 1 - static_cast<uint32_t>((at - first) / sizeof shades[0]);
}

void ShowGradPlain(uint16_t* __restrict dst, const uint16_t* __restrict src,
                   const uint16_t* __restrict palette, uint32_t last, int from, int to) {
  for (int i = from; i < to; i += 2) {
    uint32_t w = LoadPair(src + i);
    uint32_t lo = std::min(w & 0xFFFF, last), hi = std::min(w >> 16, last);
    StorePair(dst + i, palette[lo] | static_cast<uint32_t>(palette[hi]) << 16);
  }
}

#ifdef GW_X86_WIDE
#define GW_PALETTE_PERMUTE 1

bool CanPermutePalette() { return HasAvx512bw(); }

struct PaletteRegisters {
  __m512i part[8];  // entries 32k .. 32k + 31
};

GW_AVX512BW PaletteRegisters LoadPalette(const uint16_t* palette) {
  PaletteRegisters p;
  for (int k = 0; k < 8; ++k) p.part[k] = _mm512_loadu_si512(palette + 32 * k);
  return p;
}

// palette[index] for 32 indices of at most 255.
GW_AVX512BW __m512i LookUp32(const PaletteRegisters& p, __m512i index) {
  // Each permute reads bits 0 .. 5 of the index; bits 6 and 7 choose among the four results.
  __m512i q0 = _mm512_permutex2var_epi16(p.part[0], index, p.part[1]);
  __m512i q1 = _mm512_permutex2var_epi16(p.part[2], index, p.part[3]);
  __m512i q2 = _mm512_permutex2var_epi16(p.part[4], index, p.part[5]);
  __m512i q3 = _mm512_permutex2var_epi16(p.part[6], index, p.part[7]);
  __mmask32 bit6 = _mm512_test_epi16_mask(index, _mm512_set1_epi16(64));
  __mmask32 bit7 = _mm512_test_epi16_mask(index, _mm512_set1_epi16(128));
  __m512i low = _mm512_mask_mov_epi16(q0, bit6, q1);
  __m512i high = _mm512_mask_mov_epi16(q2, bit6, q3);
  return _mm512_mask_mov_epi16(low, bit7, high);
}

GW_AVX512BW void ShowGradPermuted(uint16_t* dst, const uint16_t* src, const uint16_t* palette,
                                  uint32_t last) {
  const PaletteRegisters p = LoadPalette(palette);
  const __m512i top = _mm512_set1_epi16(255);
  for (int i = 0; i < kPixels; i += 32) {
    __m512i index = _mm512_loadu_si512(src + i);
    if (_mm512_cmpgt_epu16_mask(index, top) != 0)
      ShowGradPlain(dst, src, palette, last, i, i + 32);
    else
      _mm512_storeu_si512(dst + i, LookUp32(p, index));
  }
}
#endif

}  // namespace

void ShowGradBuffer(uint16_t* __restrict dst, const uint16_t* __restrict src,
                    const uint16_t* __restrict palette) {
  const uint32_t last = LastIndex(palette);
#ifdef GW_PALETTE_PERMUTE
  if (CanPermutePalette()) return ShowGradPermuted(dst, src, palette, last);
#endif
  ShowGradPlain(dst, src, palette, last, 0, kPixels);
}

namespace {

// The wipe's weight for column x when the row's edge is at column c.
inline int32_t WipeWeight(int32_t c, int32_t x) { return std::clamp((c + 1 - x) * 8, 0, 255); }

inline uint32_t WipePixel(uint32_t old, int32_t f) {
  int32_t o = static_cast<int32_t>(old);
  return static_cast<uint32_t>((o * 256 + (f - o) * f) >> 8) & 0xFFFF;
}

}  // namespace

GW_WIDE_CLONES void SineBuffer(uint16_t* buffer, int pos) {
  // Beyond +-1000 every row is either untouched or fully covered, so the clamp changes no
  // picture and keeps the column arithmetic far from overflow.
  pos = std::clamp(pos, -1000, 1000);
  uint32_t m = (prticks / 16) % 50;
  for (int y = 0; y < kHeight; ++y) {
    int32_t c = fsin4[y] + fsin5[m + y] + pos;
    // Pixels from column c + 1 on have weight 0 and keep their value: stop at the last word
    // that holds a weighted pixel.
    int32_t end = std::clamp(c + 1, 0, kWidth);
    uint16_t* row = buffer + y * kWidth;
    for (int32_t x = 0; x < end; x += 2) {
      uint32_t w = LoadPair(row + x);
      uint32_t lo = WipePixel(w & 0xFFFF, WipeWeight(c, x));
      uint32_t hi = WipePixel(w >> 16, WipeWeight(c, x + 1));
      StorePair(row + x, lo | hi << 16);
    }
  }
}

namespace {

// fpal is the triangle wave i for i < 256 and 511 - i above. Computing it instead of reading it
// leaves the plasma's row loop without a single lookup, so it runs eight pixels per step.
inline uint16_t Triangle(uint16_t v) {
  uint16_t fold = static_cast<uint16_t>(0 - ((v >> 8) & 1));  // all ones on the falling half
  return static_cast<uint16_t>((v ^ fold) & 255);
}

bool PaletteIsTriangle() {
  for (uint16_t i = 0; i < 512; ++i)
    if (fpal[i] != Triangle(i)) return false;
  return true;
}

// The sine tables cut to 16 bits: only the low nine bits of their sum pick a colour, and those
// do not depend on the bits above.
struct PlasmaSines {
  uint16_t s1[320], s2[448], s3[760];
};

void CutSines(PlasmaSines& t) {
  for (int i = 0; i < 320; ++i) t.s1[i] = static_cast<uint16_t>(fsin1[i]);
  for (int i = 0; i < 448; ++i) t.s2[i] = static_cast<uint16_t>(fsin2[i]);
  for (int i = 0; i < 760; ++i) t.s3[i] = static_cast<uint16_t>(fsin3[i]);
}

GW_WIDE_CLONES void PlasmaRow(uint16_t* __restrict row, const uint16_t* __restrict s1,
               const uint16_t* __restrict s2, const uint16_t* __restrict s3, uint16_t a,
               uint16_t y) {
  for (uint16_t x = 0; x < kWidth; ++x) {
    uint16_t red = Triangle(static_cast<uint16_t>(s1[x] + a + s3[x] + s2[x]));
    uint16_t green = Triangle(static_cast<uint16_t>(red + x));
    uint16_t blue = Triangle(static_cast<uint16_t>(red + x + y));
    row[x] = static_cast<uint16_t>(((red >> 3) << 11) | ((green >> 2) << 5) | (blue >> 3));
  }
}

// The row read through the palette table, for a palette that is not the triangle wave (the
// demo's never is; a caller that skipped the table set-up may have one).
void PlasmaRowFromTable(uint16_t* __restrict row, uint32_t y, uint32_t m) {
  int32_t a = fsin2[y];
  const int32_t* s2 = fsin2 + fsin3[m + y];
  const int32_t* s3 = fsin3 + 2 * m + y;
  for (uint32_t x = 0; x < kWidth; ++x) {
    uint32_t v = static_cast<uint32_t>(fsin1[x] + a + s3[x] + s2[x]) & 511;
    uint32_t red = static_cast<uint32_t>(fpal[v]);
    uint32_t green = static_cast<uint32_t>(fpal[(red + x) & 511]);
    uint32_t blue = static_cast<uint32_t>(fpal[(red + x + y) & 511]);
    row[x] = static_cast<uint16_t>(((red >> 3) << 11) | ((green >> 2) << 5) | (blue >> 3));
  }
}

}  // namespace

void ColorPlasma(uint16_t* __restrict dst) {
  if (!PaletteIsTriangle()) {
    for (uint32_t y = 0; y < kHeight; ++y) PlasmaRowFromTable(dst + y * kWidth, y, prfrm % 100);
    return;
  }
  static PlasmaSines t;
  CutSines(t);
  uint32_t m = prfrm % 100;
  for (int y = 0; y < kHeight; ++y) {
    PlasmaRow(dst + y * kWidth, t.s1, t.s2 + fsin3[m + y], t.s3 + 2 * m + y,
              static_cast<uint16_t>(fsin2[y]), static_cast<uint16_t>(y));
  }
}

namespace {

inline uint32_t PolarIndex(uint32_t dist, uint32_t ang, uint32_t phase) {
  return 4 * dist + 8 * ang + phase;
}

#ifdef GW_PALETTE_PERMUTE
// PolarIndex of 16 pixels, one per 32-bit lane holding its distance (low half) and angle
// (high half).
GW_AVX512BW __m512i PolarIndex16(__m512i pairs, __m512i phase) {
  // (The zero-masked shifts: GCC's plain ones start from an undefined register and warn.)
  const __mmask16 all = 0xFFFF;
  __m512i dist = _mm512_and_si512(pairs, _mm512_set1_epi32(0xFFFF));
  __m512i dist4 = _mm512_maskz_slli_epi32(all, dist, 2);
  __m512i ang8 = _mm512_maskz_slli_epi32(all, _mm512_maskz_srli_epi32(all, pairs, 16), 3);
  return _mm512_add_epi32(_mm512_add_epi32(dist4, ang8), phase);
}

// The same lookups as the gradient buffer's, with the index made from each pixel's pair.
GW_AVX512BW void PolarPermuted(uint16_t* dst, const uint16_t* palette, uint32_t phase) {
  const PaletteRegisters p = LoadPalette(palette);
  static constexpr struct EvenWords {
    uint16_t at[32];
    constexpr EvenWords() : at() {
      for (uint16_t k = 0; k < 32; ++k) at[k] = static_cast<uint16_t>(2 * k);
    }
  } kEven;
  const __m512i even = _mm512_loadu_si512(kEven.at);
  const __m512i ph = _mm512_set1_epi32(static_cast<int>(phase));
  for (int i = 0; i < kPixels; i += 32) {
    __m512i first = PolarIndex16(_mm512_loadu_si512(dist_angle + 2 * i), ph);
    __m512i second = PolarIndex16(_mm512_loadu_si512(dist_angle + 2 * i + 32), ph);
    // The low halves of the 32 lanes are the 32 indices.
    _mm512_storeu_si512(dst + i, LookUp32(p, _mm512_permutex2var_epi16(first, even, second)));
  }
}
#endif

#ifdef GW_WASM_WIDE
// PolarIndex & 255 of eight pixels from their eight (distance, angle) pairs, in 16-bit lanes:
// the low eight bits of the sum do not depend on the bits above.
inline v128_t PolarIndex8(const uint16_t* pairs, v128_t phase) {
  const v128_t first = wasm_v128_load(pairs), second = wasm_v128_load(pairs + 8);
  const v128_t dist = wasm_i16x8_shuffle(first, second, 0, 2, 4, 6, 8, 10, 12, 14);
  const v128_t ang = wasm_i16x8_shuffle(first, second, 1, 3, 5, 7, 9, 11, 13, 15);
  const v128_t sum = wasm_i16x8_add(wasm_i16x8_add(wasm_i16x8_shl(dist, 2), wasm_i16x8_shl(ang, 3)), phase);
  return wasm_v128_and(sum, wasm_i16x8_splat(255));
}

// WebAssembly has no gathers; building a vector from eight lane loads, one after the other, is
// slower than storing the indices and loading the entries one by one.
void WasmPolar(uint16_t* __restrict dst, const uint16_t* __restrict palette, uint32_t phase) {
  const v128_t ph = wasm_i16x8_splat(static_cast<int16_t>(phase & 255));
  for (int i = 0; i < kPixels; i += 8) {
    alignas(16) uint16_t index[8];
    wasm_v128_store(index, PolarIndex8(dist_angle + 2 * i, ph));
    for (int k = 0; k < 8; ++k) dst[i + k] = palette[index[k]];
  }
}
#endif

}  // namespace

void Polar(uint16_t* __restrict dst, const uint16_t* __restrict palette) {
  uint32_t phase = 4 * prfrm;
#ifdef GW_PALETTE_PERMUTE
  if (CanPermutePalette()) return PolarPermuted(dst, palette, phase);
#endif
#ifdef GW_WASM_WIDE
  if (UseWasmWide(kWasmPolar)) return WasmPolar(dst, palette, phase);
#endif
  for (int i = 0; i < kPixels; ++i)
    dst[i] = palette[PolarIndex(dist_angle[2 * i], dist_angle[2 * i + 1], phase) & 255];
}

// The rotozoomers: one walk over the screen in 16.16 texel coordinates, with the sampler chosen
// per row. The image repeats every 128 texels in both directions.
namespace {

struct RotoStep {
  int32_t dc, ds;
};

RotoStep RotoSetup(float angle, float zoom) {
  double r = static_cast<double>(angle) / 180 / 3.14151693;
  double z = static_cast<double>(zoom);
  return {ftoi(std::cos(r) * z * 65536), ftoi(std::sin(r) * z * 65536)};
}

// a + floor((b - a) * f / 65536) for several fields packed in one word, each with its integer
// part from bit 16 of its lane. The sum a * 65536 + (b - a) * f equals a * (65536 - f) + b * f,
// which is non-negative and below 2^22 per field: computed modulo 2^64, the borrows between
// lanes of (b - a) cancel out and every lane ends up exact.
inline uint64_t Lerp16(uint64_t a, uint64_t b, uint32_t f) { return (a << 16) + (b - a) * f; }

// An RGB565 pixel with its fields spread over a 64-bit word (blue at bit 0, green at bit 21,
// red at bit 43), so that one multiply interpolates all three.
constexpr uint64_t kFieldMask = 31u | (63ull << 21) | (31ull << 43);
constexpr uint64_t Spread(uint16_t p) {
  return (p & 31u) | (static_cast<uint64_t>((p >> 5) & 63) << 21) |
         (static_cast<uint64_t>(p >> 11) << 43);
}
// Packs an interpolated word whose fields still carry their 16 fraction bits.
inline uint16_t GatherFractional(uint64_t f) {
  return static_cast<uint16_t>(((f >> 16) & 31) | ((f >> 32) & 0x7E0) | ((f >> 48) & 0xF800));
}

// The texture tables below have a 129th column (and the colour one a 129th row) repeating the
// first, so that the right and lower neighbours of a texel are at fixed offsets.
constexpr uint32_t kPadded = 129;
inline uint32_t PaddedIndex(uint32_t tx, uint32_t ty) { return ty * kPadded + tx; }

// The picture never changes, so its spread form is made once.
const uint64_t* SpreadPicture() {
  static const struct Table {
    uint64_t t[kPadded * kPadded];
    Table() {
      for (uint32_t y = 0; y < kPadded; ++y)
        for (uint32_t x = 0; x < kPadded; ++x) t[PaddedIndex(x, y)] = Spread(dracul[(y & 127) * 128 + (x & 127)]);
    }
  } table;
  return table.t;
}

// The grey picture with each texel paired with the one below it (wrapping), one per 32-bit
// half, so that a sample needs two loads. Rebuilt per call: the grey copy is a table that may
// be rebuilt.
uint64_t grey_pairs[128 * kPadded];

void PairGreyRows() {
  for (uint32_t y = 0; y < 128; ++y) {
    const uint8_t* row = gradbmp + y * 128;
    const uint8_t* below = gradbmp + ((y + 1) & 127) * 128;
    for (uint32_t x = 0; x < kPadded; ++x)
      grey_pairs[PaddedIndex(x, y)] = row[x & 127] | static_cast<uint64_t>(below[x & 127]) << 32;
  }
}

// A grey level 0 .. 255 as an RGB565 pixel.
constexpr struct GreyPixels {
  uint16_t p[256];
  constexpr GreyPixels() : p() {
    for (uint32_t g = 0; g < 256; ++g) p[g] = static_cast<uint16_t>(((g >> 3) << 11) | ((g >> 2) << 5) | (g >> 3));
  }
} kGreyPixels;

inline uint32_t Texel(int32_t u) { return (static_cast<uint32_t>(u) >> 16) & 127; }
inline uint32_t Fraction(int32_t u) { return static_cast<uint32_t>(u) & 0xFFFF; }

struct NearestSampler {
  uint16_t operator()(int32_t u, int32_t v) const { return dracul[Texel(v) * 128 + Texel(u)]; }
};

struct GreySampler {
  uint16_t operator()(int32_t u, int32_t v) const {
    const uint64_t* at = grey_pairs + PaddedIndex(Texel(u), Texel(v));
    uint64_t rows = Lerp16(at[0], at[1], Fraction(u)) >> 16;
    uint64_t g = Lerp16(rows & 0xFF, (rows >> 32) & 0xFF, Fraction(v)) >> 16;
    return kGreyPixels.p[g & 0xFF];
  }
};

struct ColourSampler {
  const uint64_t* pic;
  uint16_t operator()(int32_t u, int32_t v) const {
    const uint64_t* at = pic + PaddedIndex(Texel(u), Texel(v));
    uint32_t fu = Fraction(u);
    uint64_t top = (Lerp16(at[0], at[1], fu) >> 16) & kFieldMask;
    uint64_t bottom = (Lerp16(at[kPadded], at[kPadded + 1], fu) >> 16) & kFieldMask;
    return GatherFractional(Lerp16(top, bottom, Fraction(v)));
  }
};

// GCC turns the colour row into SSE2 code that emulates the 64-bit multiplies, slower than
// the plain loop; the attribute keeps every row scalar.
#if defined(__GNUC__) && !defined(__clang__)
#define GW_SCALAR_LOOP __attribute__((optimize("no-tree-vectorize")))
#else
#define GW_SCALAR_LOOP
#endif

template <class Sampler>
GW_SCALAR_LOOP void RotoRow(uint16_t* __restrict row, int32_t u, int32_t v, RotoStep s, Sampler sample) {
  for (int x = 0; x < kWidth; ++x) {
    u = wadd(u, s.dc);
    v = wadd(v, s.ds);
    row[x] = sample(u, v);
  }
}

}  // namespace

void RotozoomerNearest(uint16_t* dst, float angle, float zoom) {
  RotozoomerAll(dst, angle, zoom, kHeight, kHeight);
}

namespace {

enum class Band { kNearest, kGrey, kColour };

#if defined(GW_X86_WIDE) || defined(GW_WASM_WIDE)
#define GW_GREY_QUADS 1
// Each grey texel with its right, lower and lower-right neighbours (wrapping), one byte each
// from the low end. The grey picture is a table that may be rebuilt: the quads are rebuilt
// whenever it differs from the copy they were made from.
uint32_t grey_quads[16384];
uint8_t grey_quads_source[16384];
bool grey_quads_made = false;

void QuadGreyTexels() {
  if (grey_quads_made && std::memcmp(grey_quads_source, gradbmp, sizeof grey_quads_source) == 0)
    return;
  std::memcpy(grey_quads_source, gradbmp, sizeof grey_quads_source);
  grey_quads_made = true;
  for (uint32_t y = 0; y < 128; ++y) {
    const uint8_t* row = gradbmp + y * 128;
    const uint8_t* below = gradbmp + ((y + 1) & 127) * 128;
    for (uint32_t x = 0; x < 128; ++x) {
      uint32_t right = (x + 1) & 127;
      grey_quads[y * 128 + x] = row[x] | row[right] << 8 | below[x] << 16 |
                                static_cast<uint32_t>(below[right]) << 24;
    }
  }
}
#endif

}  // namespace

// With AVX-512 every band samples 16 pixels per step: gathers bring the texels (the grey
// band's four neighbours packed in one word), and the interpolation runs in
// 32-bit lanes. A lane's sums stay below 2^24, so each equals the packed 64-bit form above.
// The colour band gathers its four texels and interpolates each field on its own.
namespace {

#ifdef GW_PALETTE_PERMUTE
#define GW_ROTO_GATHER 1

bool CanGather() { return HasAvx512f(); }

// The picture widened to 32 bits, so a gather of a texel never reads past the table.
const uint32_t* WidePicture() {
  static const struct Table {
    uint32_t t[16384];
    Table() {
      for (int i = 0; i < 16384; ++i) t[i] = dracul[i];
    }
  } table;
  return table.t;
}

using Lanes = uint32_t __attribute__((vector_size(64)));  // 16 lanes of 32 bits
using Pixels = uint16_t __attribute__((vector_size(32)));

// a * 65536 + (b - a) * f, which is a * (65536 - f) + b * f, then its integer part.
GW_AVX512BW inline Lanes Lerp(Lanes a, Lanes b, Lanes f) { return ((a << 16) + (b - a) * f) >> 16; }

// table[index] for 16 indices. (The masked form with a zero start: GCC's plain gather starts
// from an undefined register and warns.)
GW_AVX512BW inline Lanes Gather(const uint32_t* table, Lanes index) {
  return reinterpret_cast<Lanes>(_mm512_mask_i32gather_epi32(
      _mm512_setzero_si512(), 0xFFFF, reinterpret_cast<__m512i>(index), table, 4));
}

// One RGB565 field (at kShift, kMask wide) of four texels, interpolated across then down.
template <int kShift, uint32_t kMask>
GW_AVX512BW inline Lanes LerpField(Lanes t00, Lanes t01, Lanes t10, Lanes t11, Lanes fu, Lanes fv) {
  Lanes top = Lerp((t00 >> kShift) & kMask, (t01 >> kShift) & kMask, fu);
  Lanes bottom = Lerp((t10 >> kShift) & kMask, (t11 >> kShift) & kMask, fu);
  return Lerp(top, bottom, fv);
}

template <Band kBand>
GW_AVX512BW void GatherRow(uint16_t* row, int32_t u, int32_t v, RotoStep s) {
  const Lanes k1 = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  // The coordinates of pixel k are u + (k + 1) * dc and v + (k + 1) * ds, wrapping.
  Lanes uu = static_cast<uint32_t>(u) + k1 * static_cast<uint32_t>(s.dc);
  Lanes vv = static_cast<uint32_t>(v) + k1 * static_cast<uint32_t>(s.ds);
  const uint32_t du = 16 * static_cast<uint32_t>(s.dc), dv = 16 * static_cast<uint32_t>(s.ds);
  for (int x = 0; x < kWidth; x += 16, uu += du, vv += dv) {
    Lanes tu = (uu >> 16) & 127, tv = (vv >> 16) & 127;
    Lanes fu = uu & 0xFFFF, fv = vv & 0xFFFF;
    Lanes out;
    if constexpr (kBand == Band::kNearest) {
      out = Gather(WidePicture(), tv << 7 | tu);
    } else if constexpr (kBand == Band::kGrey) {
      Lanes q = Gather(grey_quads, tv << 7 | tu);
      Lanes g = Lerp(Lerp(q & 255, (q >> 8) & 255, fu), Lerp((q >> 16) & 255, q >> 24, fu), fv);
      g &= 255;
      out = (g >> 3) << 11 | (g >> 2) << 5 | (g >> 3);
    } else {
      Lanes right = (tu + 1) & 127, below = ((tv + 1) & 127) << 7;
      const uint32_t* pic = WidePicture();
      Lanes t00 = Gather(pic, tv << 7 | tu), t01 = Gather(pic, tv << 7 | right);
      Lanes t10 = Gather(pic, below | tu), t11 = Gather(pic, below | right);
      out = LerpField<11, 31>(t00, t01, t10, t11, fu, fv) << 11 |
            LerpField<5, 63>(t00, t01, t10, t11, fu, fv) << 5 |
            LerpField<0, 31>(t00, t01, t10, t11, fu, fv);
    }
    Pixels p = __builtin_convertvector(out, Pixels);
    std::memcpy(row + x, &p, sizeof p);
  }
}
#endif

}  // namespace

// With WebAssembly SIMD the bilinear bands sample eight pixels per step: the coordinates and the
// interpolation run in 32-bit lanes, with the same integers as the 16-lane form above; without
// gathers, each texel (or the grey quad, or a colour texel with its right neighbour) is loaded
// into its lane.
namespace {

#ifdef GW_WASM_WIDE

// The picture with a 129th column and row repeating the first, so a texel and its right
// neighbour are one 32-bit load and the row below is kPadded texels on.
const uint16_t* PaddedPicture() {
  static const struct Table {
    uint16_t t[kPadded * kPadded];
    Table() {
      for (uint32_t y = 0; y < kPadded; ++y)
        for (uint32_t x = 0; x < kPadded; ++x) t[PaddedIndex(x, y)] = dracul[(y & 127) * 128 + (x & 127)];
    }
  } table;
  return table.t;
}

// a + floor((b - a) * f / 65536): the product stays below 2^24 in size, and the arithmetic
// shift floors it.
inline v128_t LerpLanes(v128_t a, v128_t b, v128_t f) {
  return wasm_i32x4_add(a, wasm_i32x4_shr(wasm_i32x4_mul(wasm_i32x4_sub(b, a), f), 16));
}

// table[index] of 32-bit values, or of pairs of 16-bit values, one per lane.
template <class T>
inline v128_t Load32Lanes(const T* table, v128_t i) {
  v128_t r = wasm_i32x4_splat(0);
  r = wasm_v128_load32_lane(table + wasm_u32x4_extract_lane(i, 0), r, 0);
  r = wasm_v128_load32_lane(table + wasm_u32x4_extract_lane(i, 1), r, 1);
  r = wasm_v128_load32_lane(table + wasm_u32x4_extract_lane(i, 2), r, 2);
  return wasm_v128_load32_lane(table + wasm_u32x4_extract_lane(i, 3), r, 3);
}

inline v128_t Field(v128_t t, int shift, uint32_t mask) {
  return wasm_v128_and(wasm_u32x4_shr(t, shift), wasm_i32x4_splat(static_cast<int32_t>(mask)));
}

// One RGB565 field of the pairs (texel, right neighbour) above and below, across then down.
inline v128_t LerpPairField(v128_t above, v128_t below, int shift, uint32_t mask, v128_t fu, v128_t fv) {
  v128_t top = LerpLanes(Field(above, shift, mask), Field(above, shift + 16, mask), fu);
  v128_t bottom = LerpLanes(Field(below, shift, mask), Field(below, shift + 16, mask), fu);
  return LerpLanes(top, bottom, fv);
}

// Four pixels at the 16.16 coordinates of the lanes of uu and vv, as 32-bit lanes.
template <Band kBand>
inline v128_t SampleLanes(v128_t uu, v128_t vv) {
  const v128_t mask7 = wasm_i32x4_splat(127), low16 = wasm_i32x4_splat(0xFFFF);
  v128_t tu = wasm_v128_and(wasm_u32x4_shr(uu, 16), mask7);
  v128_t tv = wasm_v128_and(wasm_u32x4_shr(vv, 16), mask7);
  v128_t fu = wasm_v128_and(uu, low16), fv = wasm_v128_and(vv, low16);
  if constexpr (kBand == Band::kGrey) {
    v128_t q = Load32Lanes(grey_quads, wasm_v128_or(wasm_i32x4_shl(tv, 7), tu));
    v128_t top = LerpLanes(Field(q, 0, 255), Field(q, 8, 255), fu);
    v128_t bottom = LerpLanes(Field(q, 16, 255), wasm_u32x4_shr(q, 24), fu);
    v128_t g = wasm_v128_and(LerpLanes(top, bottom, fv), wasm_i32x4_splat(255));
    v128_t r5 = wasm_u32x4_shr(g, 3);
    return wasm_v128_or(wasm_v128_or(wasm_i32x4_shl(r5, 11), wasm_i32x4_shl(wasm_u32x4_shr(g, 2), 5)), r5);
  } else {
    const uint16_t* pic = PaddedPicture();
    v128_t at = wasm_i32x4_add(wasm_i32x4_mul(tv, wasm_i32x4_splat(kPadded)), tu);
    v128_t above = Load32Lanes(pic, at);
    v128_t below = Load32Lanes(pic + kPadded, at);
    v128_t red = LerpPairField(above, below, 11, 31, fu, fv);
    v128_t green = LerpPairField(above, below, 5, 63, fu, fv);
    v128_t blue = LerpPairField(above, below, 0, 31, fu, fv);
    return wasm_v128_or(wasm_v128_or(wasm_i32x4_shl(red, 11), wasm_i32x4_shl(green, 5)), blue);
  }
}

// RotoRow with its sampler, eight pixels per step.
template <Band kBand>
void WasmRotoRow(uint16_t* row, int32_t u, int32_t v, RotoStep s) {
  // Pixel k samples u + (k + 1) * dc and v + (k + 1) * ds, wrapping.
  const v128_t k1 = wasm_i32x4_make(1, 2, 3, 4);
  const v128_t dc = wasm_i32x4_splat(s.dc), ds = wasm_i32x4_splat(s.ds);
  v128_t u0 = wasm_i32x4_add(wasm_i32x4_splat(u), wasm_i32x4_mul(k1, dc));
  v128_t v0 = wasm_i32x4_add(wasm_i32x4_splat(v), wasm_i32x4_mul(k1, ds));
  const v128_t du4 = wasm_i32x4_splat(wmul(4, s.dc)), dv4 = wasm_i32x4_splat(wmul(4, s.ds));
  const v128_t du8 = wasm_i32x4_splat(wmul(8, s.dc)), dv8 = wasm_i32x4_splat(wmul(8, s.ds));
  for (int x = 0; x < kWidth; x += 8) {
    v128_t first = SampleLanes<kBand>(u0, v0);
    v128_t second = SampleLanes<kBand>(wasm_i32x4_add(u0, du4), wasm_i32x4_add(v0, dv4));
    wasm_v128_store(row + x, wasm_i16x8_shuffle(first, second, 0, 2, 4, 6, 8, 10, 12, 14));
    u0 = wasm_i32x4_add(u0, du8);
    v0 = wasm_i32x4_add(v0, dv8);
  }
}

// The row in its band's wide form; false when the plain twin is to draw it. The nearest band
// has none: loading its texels lane by lane is no faster than the compiler's loop.
bool WasmRotoRowIn(Band band, uint16_t* row, int32_t u, int32_t v, RotoStep s) {
  if (band == Band::kGrey && UseWasmWide(kWasmRotoGrey))
    WasmRotoRow<Band::kGrey>(row, u, v, s);
  else if (band == Band::kColour && UseWasmWide(kWasmRotoColour))
    WasmRotoRow<Band::kColour>(row, u, v, s);
  else
    return false;
  return true;
}
#endif

}  // namespace

void RotozoomerAll(uint16_t* dst, float angle, float zoom, uint32_t row1, uint32_t row2) {
  RotoStep s = RotoSetup(angle, zoom);
  bool quads = false;
#ifdef GW_ROTO_GATHER
  const bool gather = CanGather();
  quads = gather;
#endif
#ifdef GW_WASM_WIDE
  quads = quads || wasm_wide_on;
#endif
  if (std::min(row2, 240u) > row1) {
#ifdef GW_GREY_QUADS
    if (quads) QuadGreyTexels();
#endif
    if (!quads) PairGreyRows();
  }
  const uint64_t* pic = SpreadPicture();
  int32_t ur = 148 << 16, vr = 156 << 16;
  for (uint32_t y = 0; y < kHeight; ++y) {
    ur = wsub(ur, s.ds);
    vr = wadd(vr, s.dc);
    uint16_t* row = dst + y * kWidth;
    // Each row picks exactly one sampler, so band limits out of order or beyond 240 still
    // write every row once.
    const Band band = y < row1 ? Band::kNearest : y < row2 ? Band::kGrey : Band::kColour;
#ifdef GW_ROTO_GATHER
    if (gather) {
      if (band == Band::kNearest)
        GatherRow<Band::kNearest>(row, ur, vr, s);
      else if (band == Band::kGrey)
        GatherRow<Band::kGrey>(row, ur, vr, s);
      else
        GatherRow<Band::kColour>(row, ur, vr, s);
      continue;
    }
#endif
#ifdef GW_WASM_WIDE
    if (WasmRotoRowIn(band, row, ur, vr, s)) continue;
#endif
    if (band == Band::kNearest)
      RotoRow(row, ur, vr, s, NearestSampler{});
    else if (band == Band::kGrey)
      RotoRow(row, ur, vr, s, GreySampler{});
    else
      RotoRow(row, ur, vr, s, ColourSampler{pic});
  }
}

// The transpose: 8 x 8 tiles, each read as eight rows and written as eight columns. With SSE2
// a tile is eight loads, three rounds of interleaves and eight stores, several times faster
// than moving the 64 values one by one; the plain loop does the same elsewhere.
namespace {

void TransposeTile(uint16_t* __restrict dst, size_t dst_stride, const uint16_t* __restrict src,
                   size_t src_stride) {
#if defined(__SSE2__)
  __m128i r[8], t[8], u[8];
  for (size_t i = 0; i < 8; ++i)
    r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * src_stride));
  for (size_t i = 0; i < 8; i += 2) {  // pairs of rows, value by value
    t[i] = _mm_unpacklo_epi16(r[i], r[i + 1]);
    t[i + 1] = _mm_unpackhi_epi16(r[i], r[i + 1]);
  }
  for (size_t i = 0; i < 8; i += 4) {  // quads of rows, pair by pair
    u[i] = _mm_unpacklo_epi32(t[i], t[i + 2]);
    u[i + 1] = _mm_unpackhi_epi32(t[i], t[i + 2]);
    u[i + 2] = _mm_unpacklo_epi32(t[i + 1], t[i + 3]);
    u[i + 3] = _mm_unpackhi_epi32(t[i + 1], t[i + 3]);
  }
  for (size_t i = 0; i < 4; ++i) {  // all eight rows: columns 2i and 2i + 1
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * i * dst_stride),
                     _mm_unpacklo_epi64(u[i], u[i + 4]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + (2 * i + 1) * dst_stride),
                     _mm_unpackhi_epi64(u[i], u[i + 4]));
  }
#else
  for (size_t x = 0; x < 8; ++x)
    for (size_t y = 0; y < 8; ++y) dst[x * dst_stride + y] = src[y * src_stride + x];
#endif
}

#ifdef GW_WASM_WIDE
// The same three rounds of interleaves in WebAssembly's shuffles.
void WasmTransposeTile(uint16_t* __restrict dst, size_t dst_stride, const uint16_t* __restrict src,
                       size_t src_stride) {
  v128_t r[8], t[8], u[8];
  for (size_t i = 0; i < 8; ++i) r[i] = wasm_v128_load(src + i * src_stride);
  for (size_t i = 0; i < 8; i += 2) {
    t[i] = wasm_i16x8_shuffle(r[i], r[i + 1], 0, 8, 1, 9, 2, 10, 3, 11);
    t[i + 1] = wasm_i16x8_shuffle(r[i], r[i + 1], 4, 12, 5, 13, 6, 14, 7, 15);
  }
  for (size_t i = 0; i < 8; i += 4) {
    u[i] = wasm_i32x4_shuffle(t[i], t[i + 2], 0, 4, 1, 5);
    u[i + 1] = wasm_i32x4_shuffle(t[i], t[i + 2], 2, 6, 3, 7);
    u[i + 2] = wasm_i32x4_shuffle(t[i + 1], t[i + 3], 0, 4, 1, 5);
    u[i + 3] = wasm_i32x4_shuffle(t[i + 1], t[i + 3], 2, 6, 3, 7);
  }
  for (size_t i = 0; i < 4; ++i) {
    wasm_v128_store(dst + 2 * i * dst_stride, wasm_i64x2_shuffle(u[i], u[i + 4], 0, 2));
    wasm_v128_store(dst + (2 * i + 1) * dst_stride, wasm_i64x2_shuffle(u[i], u[i + 4], 1, 3));
  }
}
#endif

}  // namespace

void TransposePixels(uint16_t* __restrict dst, const uint16_t* __restrict src, int rows, int cols) {
  assert(rows % 8 == 0 && cols % 8 == 0);
  auto r = static_cast<size_t>(rows), c = static_cast<size_t>(cols);
  auto tile = TransposeTile;
#ifdef GW_WASM_WIDE
  if (UseWasmWide(kWasmTranspose)) tile = WasmTransposeTile;
#endif
  for (size_t y = 0; y < r; y += 8)
    for (size_t x = 0; x < c; x += 8) tile(dst + x * r + y, r, src + y * c + x, c);
}

// The box blur: a running sum per line, so the cost per pixel does not depend on the radius.
// Inside the line the mean is a multiply by a truncated reciprocal (a flat area may lose one
// level); where the window is cut by a border it is an exact division by the values it holds.
// The running sums of many lines advance side by side, one whole row of lines per step, so the
// loops run on contiguous memory and vectorise; both directions are brought to that layout by
// a transpose.
namespace {

// Exact quotient n / d for n < 2^25 (320 values of 16 bits) and d <= 320, without a divide:
// with m = floor(2^36 / d) + 1, n * m / 2^36 exceeds n / d by less than n * d / 2^36 / d,
// under a quarter of 1 / d, which cannot carry the remainder over to the next integer.
struct ExactDivisors {
  uint64_t m[321];
  constexpr ExactDivisors() : m() {
    for (uint64_t d = 1; d <= 320; ++d) m[d] = (uint64_t{1} << 36) / d + 1;
  }
};
constexpr ExactDivisors kDiv;
inline uint32_t Divide(uint32_t n, uint32_t d) {
  return static_cast<uint32_t>((n * kDiv.m[d]) >> 36);
}

// The sums of `lanes` lines, one per lane; a line's values are one per row of `lanes` values.
uint32_t blur_sums[kWidth];

void AddRow(const uint16_t* __restrict in, uint32_t lanes) {
  for (uint32_t k = 0; k < lanes; ++k) blur_sums[k] += in[k];
}

void SubtractRow(const uint16_t* __restrict in, uint32_t lanes) {
  for (uint32_t k = 0; k < lanes; ++k) blur_sums[k] -= in[k];
}

void SlideRow(const uint16_t* __restrict in, const uint16_t* __restrict out, uint32_t lanes) {
  for (uint32_t k = 0; k < lanes; ++k) blur_sums[k] += static_cast<uint32_t>(in[k] - out[k]);
}

void StoreQuotients(uint16_t* __restrict d, uint32_t lanes, uint32_t count) {
  for (uint32_t k = 0; k < lanes; ++k) d[k] = static_cast<uint16_t>(Divide(blur_sums[k], count));
}

void StoreMeans(uint16_t* __restrict d, uint32_t lanes, uint32_t mul) {
  for (uint32_t k = 0; k < lanes; ++k) d[k] = static_cast<uint16_t>((blur_sums[k] * mul) >> 20);
}

// Blurs `lanes` lines of `len` values each: value i of line k is s[i * lanes + k], and its
// mean goes to d[i * lanes + k]. r must be at most (len - 1) / 2, which keeps every read
// inside the line.
// The wide clones pay here for their 32-bit multiplies, which SSE2 lacks.
GW_WIDE_CLONES void BlurLanes(uint16_t* __restrict d, const uint16_t* __restrict s, uint32_t lanes,
                              uint32_t len, uint32_t r) {
  auto row = [&](uint32_t i) { return s + i * lanes; };
  std::fill_n(blur_sums, lanes, 0u);
  for (uint32_t i = 0; i < r; ++i) AddRow(row(i), lanes);
  for (uint32_t i = 0; i <= r; ++i) {
    AddRow(row(i + r), lanes);
    StoreQuotients(d + i * lanes, lanes, i + r + 1);
  }
  uint32_t mul = 1048576u / (2 * r + 1);
  for (uint32_t i = r + 1; i + r < len; ++i) {
    SlideRow(row(i + r), row(i - r - 1), lanes);
    StoreMeans(d + i * lanes, lanes, mul);
  }
  for (uint32_t i = len - r; i < len; ++i) {
    SubtractRow(row(i - r - 1), lanes);
    StoreQuotients(d + i * lanes, lanes, len - i + r);
  }
}

// With WebAssembly SIMD eight lanes move per step, and the slide and the mean share one pass.
// The edges' exact quotients come from double division: a sum below 2^32 is exact as a double,
// and a quotient that is not whole lies at least 1/320 from the next integer, far beyond the
// rounding error, so truncating it gives the integer quotient, as Divide does.
#ifdef GW_WASM_WIDE

// The lanes k .. k + 7 of `sums` as two vectors.
struct SumPair {
  v128_t lo, hi;
};
inline SumPair LoadSums(uint32_t k) {
  return {wasm_v128_load(blur_sums + k), wasm_v128_load(blur_sums + k + 4)};
}
inline void StoreSums(uint32_t k, SumPair p) {
  wasm_v128_store(blur_sums + k, p.lo);
  wasm_v128_store(blur_sums + k + 4, p.hi);
}
inline v128_t LowHalves(SumPair p) { return wasm_i16x8_shuffle(p.lo, p.hi, 0, 2, 4, 6, 8, 10, 12, 14); }

// sums += in (sign 1) or sums -= in (sign -1) for eight lanes.
template <int kSign>
inline SumPair Accumulate(SumPair p, v128_t in) {
  const v128_t lo = wasm_u32x4_extend_low_u16x8(in), hi = wasm_u32x4_extend_high_u16x8(in);
  if constexpr (kSign > 0) return {wasm_i32x4_add(p.lo, lo), wasm_i32x4_add(p.hi, hi)};
  return {wasm_i32x4_sub(p.lo, lo), wasm_i32x4_sub(p.hi, hi)};
}

inline v128_t Quotients(v128_t n, v128_t d) {
  const v128_t lo = wasm_f64x2_div(wasm_f64x2_convert_low_u32x4(n), d);
  const v128_t hi = wasm_f64x2_div(wasm_f64x2_convert_low_u32x4(wasm_i32x4_shuffle(n, n, 2, 3, 0, 1)), d);
  return wasm_i32x4_shuffle(wasm_u32x4_trunc_sat_f64x2_zero(lo), wasm_u32x4_trunc_sat_f64x2_zero(hi), 0, 1, 4, 5);
}

// AddRow or SubtractRow, then StoreQuotients by `count`.
template <int kSign>
void WasmEdgeRow(uint16_t* __restrict d, const uint16_t* __restrict in, uint32_t lanes, uint32_t count) {
  const v128_t divisor = wasm_f64x2_splat(static_cast<double>(count));
  for (uint32_t k = 0; k < lanes; k += 8) {
    SumPair p = Accumulate<kSign>(LoadSums(k), wasm_v128_load(in + k));
    StoreSums(k, p);
    wasm_v128_store(d + k, LowHalves({Quotients(p.lo, divisor), Quotients(p.hi, divisor)}));
  }
}

// SlideRow, then StoreMeans by `mul`.
void WasmMiddleRow(uint16_t* __restrict d, const uint16_t* __restrict in, const uint16_t* __restrict out,
                   uint32_t lanes, uint32_t mul) {
  const v128_t m = wasm_i32x4_splat(static_cast<int32_t>(mul));
  for (uint32_t k = 0; k < lanes; k += 8) {
    SumPair p = Accumulate<-1>(Accumulate<1>(LoadSums(k), wasm_v128_load(in + k)), wasm_v128_load(out + k));
    StoreSums(k, p);
    SumPair means = {wasm_u32x4_shr(wasm_i32x4_mul(p.lo, m), 20), wasm_u32x4_shr(wasm_i32x4_mul(p.hi, m), 20)};
    wasm_v128_store(d + k, LowHalves(means));
  }
}

// BlurLanes for a multiple of eight lanes.
void WasmBlurLanes(uint16_t* __restrict d, const uint16_t* __restrict s, uint32_t lanes, uint32_t len,
                   uint32_t r) {
  auto row = [&](uint32_t i) { return s + i * lanes; };
  std::fill_n(blur_sums, lanes, 0u);
  for (uint32_t i = 0; i < r; ++i) AddRow(row(i), lanes);
  for (uint32_t i = 0; i <= r; ++i) WasmEdgeRow<1>(d + i * lanes, row(i + r), lanes, i + r + 1);
  uint32_t mul = 1048576u / (2 * r + 1);
  for (uint32_t i = r + 1; i + r < len; ++i) WasmMiddleRow(d + i * lanes, row(i + r), row(i - r - 1), lanes, mul);
  for (uint32_t i = len - r; i < len; ++i) WasmEdgeRow<-1>(d + i * lanes, row(i - r - 1), lanes, len - i + r);
}
#endif

// The wide twin where there is one (every line count here is a multiple of eight).
void PickBlurLanes(uint16_t* d, const uint16_t* s, uint32_t lanes, uint32_t len, uint32_t r) {
#ifdef GW_WASM_WIDE
  if (lanes % 8 == 0 && UseWasmWide(kWasmBlur)) return WasmBlurLanes(d, s, lanes, len, r);
#endif
  BlurLanes(d, s, lanes, len, r);
}

uint16_t blur_in[kPixels], blur_out[kPixels];

// A radius above 159 (rows) or 119 (columns) would read and write past the line; it is clamped
// to the widest blur the line allows, so every output is still written exactly once.
// The rows of row-major `src` blurred, left transposed in `dst` (the lanes' layout).
void BlurRowsTransposed(uint16_t* dst, const uint16_t* src, uint32_t r) {
  TransposePixels(blur_in, src, kHeight, kWidth);
  PickBlurLanes(dst, blur_in, kHeight, kWidth, std::min<uint32_t>(r, (kWidth - 1) / 2));
}

// The columns of row-major `src` blurred into row-major `dst`.
void BlurColumns(uint16_t* dst, const uint16_t* src, uint32_t r) {
  PickBlurLanes(dst, src, kWidth, kHeight, std::min<uint32_t>(r, (kHeight - 1) / 2));
}

}  // namespace

void BlurX(uint16_t* dst, const uint16_t* src, uint32_t r) {
  BlurRowsTransposed(blur_out, src, r);
  TransposePixels(dst, blur_out, kWidth, kHeight);
}

void BlurY(uint16_t* dst, const uint16_t* src, uint32_t r) {
  TransposePixels(blur_in, src, kWidth, kHeight);
  BlurColumns(dst, blur_in, r);
}

// BlurX into `across`, its transpose into `transposed`, BlurY of that into `out`: the same three
// buffers, but BlurX's lanes already are the transposed image, and the row-major `across` is
// what BlurY's lanes read, so two of the four transposes fall away.
void BlurBothWays(uint16_t* across, uint16_t* transposed, uint16_t* out, const uint16_t* src,
                  uint32_t r) {
  BlurRowsTransposed(transposed, src, r);
  TransposePixels(across, transposed, kWidth, kHeight);
  BlurColumns(out, across, r);
}
