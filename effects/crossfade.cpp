// Whole-screen blends of RGB565 images, one level for the screen or one per pixel from a table.
// They run on every frame of a transition, so the cost is the per-word blend: both pixels of a
// 32-bit word are unpacked, blended and packed in registers, in 16-bit lanes the compiler can
// vectorise.
#include <cstring>

#include "effects/effects.h"
#include "platform/demo.h"
#include "platform/wide.h"

namespace {

constexpr int kRowWords = kWidth / 2;

// The blends get AVX-512 (x86-64-v4) and AVX2 clones, four and two times the lanes of SSE2;
// the processor picks a clone at load time and all compute the same integers. (clang does not
// take the clones together with flatten, so its builds go without.)

// base + floor((other - base) * L / 256) equals (base * (256 - L) + other * L) >> 8, since
// base * 256 is a whole multiple of 256; the second form stays non-negative and below 2^16
// (63 * 256 at most), so it fits one 16-bit lane per channel.
inline uint16_t BlendChannel(uint16_t base, uint16_t other, uint16_t level) {
  return static_cast<uint16_t>(static_cast<uint16_t>(base * (256 - level) + other * level) >> 8);
}

inline uint16_t BlendPixel(uint16_t base, uint16_t other, uint16_t level) {
  const uint16_t r = BlendChannel(base >> 11, other >> 11, level);
  const uint16_t g = BlendChannel((base >> 5) & 63, (other >> 5) & 63, level);
  const uint16_t b = BlendChannel(base & 31, other & 31, level);
  return static_cast<uint16_t>((r << 11) | (g << 5) | b);
}

// Levels of the word's two pixels: the left (even x) one in the low half.
inline uint32_t BlendWord(uint32_t base, uint32_t other, uint32_t levels) {
  const uint16_t lo = BlendPixel(static_cast<uint16_t>(base), static_cast<uint16_t>(other),
                                 static_cast<uint16_t>(levels & 0xFFFF));
  const uint16_t hi = BlendPixel(static_cast<uint16_t>(base >> 16), static_cast<uint16_t>(other >> 16),
                                 static_cast<uint16_t>(levels >> 16));
  return static_cast<uint32_t>(lo) | (static_cast<uint32_t>(hi) << 16);
}

// A row of words is copied to locals before any of it is written, so dst may be a source
// and the compiler still sees the blend loop free of aliasing.
struct RowWords {
  uint32_t w[kRowWords];
  void Load(const uint16_t* row) { std::memcpy(w, row, sizeof w); }
};

void StoreRow(uint16_t* row, const uint32_t* w) { std::memcpy(row, w, kRowWords * sizeof(uint32_t)); }

uint32_t ColourWord(int r, int g, int b) {
  const uint32_t pixel = (static_cast<uint32_t>((r >> 3) & 31) << 11) |
                         (static_cast<uint32_t>((g >> 2) & 63) << 5) |
                         static_cast<uint32_t>((b >> 3) & 31);
  return pixel | (pixel << 16);
}

uint32_t LevelWord(int level) {
  const uint32_t l = static_cast<uint32_t>(level) & 255;
  return l | (l << 16);
}

// With WebAssembly SIMD eight pixels blend per step, each channel in a 16-bit lane with
// BlendChannel's integers (its products wrap modulo 2^16 exactly as the cast does); the levels
// come as one splat, or as the table's words (inverted as 32-bit words, like the plain loop).
#ifdef GW_WASM_WIDE

inline v128_t WasmBlendChannel(v128_t base, v128_t other, v128_t level, v128_t rest) {
  return wasm_u16x8_shr(wasm_i16x8_add(wasm_i16x8_mul(base, rest), wasm_i16x8_mul(other, level)), 8);
}

inline v128_t WasmBlend(v128_t base, v128_t other, v128_t level) {
  const v128_t rest = wasm_i16x8_sub(wasm_i16x8_splat(256), level);
  const v128_t six = wasm_i16x8_splat(63), five = wasm_i16x8_splat(31);
  const v128_t r = WasmBlendChannel(wasm_u16x8_shr(base, 11), wasm_u16x8_shr(other, 11), level, rest);
  const v128_t g = WasmBlendChannel(wasm_v128_and(wasm_u16x8_shr(base, 5), six),
                                    wasm_v128_and(wasm_u16x8_shr(other, 5), six), level, rest);
  const v128_t b = WasmBlendChannel(wasm_v128_and(base, five), wasm_v128_and(other, five), level, rest);
  return wasm_v128_or(wasm_v128_or(wasm_i16x8_shl(r, 11), wasm_i16x8_shl(g, 5)), b);
}

// dst = blend of base and other by level for all pixels; each of base, other and level is a
// function of the pixel index giving eight lanes. Every vector is read before its pixels are
// written, so dst may be a source.
template <class Base, class Other, class Level>
void WasmFade(uint16_t* dst, Base base, Other other, Level level) {
  for (int i = 0; i < kPixels; i += 8) wasm_v128_store(dst + i, WasmBlend(base(i), other(i), level(i)));
}

inline auto Pixels(const uint16_t* p) {
  return [p](int i) { return wasm_v128_load(p + i); };
}
inline auto Splat(uint32_t word) {
  return [v = wasm_i32x4_splat(static_cast<int32_t>(word))](int) { return v; };
}
#endif

}  // namespace

GW_WIDE_CLONES void Crossfade(uint16_t* dst, const uint16_t* a, const uint16_t* b, int level) {
  const uint32_t levels = LevelWord(level);
#ifdef GW_WASM_WIDE
  if (UseWasmWide(kWasmCrossfade)) return WasmFade(dst, Pixels(b), Pixels(a), Splat(levels));
#endif
  RowWords from_a, from_b;
  uint32_t out[kRowWords];
  for (int y = 0; y < kHeight; ++y) {
    from_a.Load(a + y * kWidth);
    from_b.Load(b + y * kWidth);
    for (int i = 0; i < kRowWords; ++i) out[i] = BlendWord(from_b.w[i], from_a.w[i], levels);
    StoreRow(dst + y * kWidth, out);
  }
}

GW_WIDE_CLONES void CrossfadeToColor(uint16_t* dst, const uint16_t* src, int r, int g, int b,
                                     int level) {
  const uint32_t colour = ColourWord(r, g, b);
  const uint32_t levels = LevelWord(level);
#ifdef GW_WASM_WIDE
  if (UseWasmWide(kWasmCrossfade)) return WasmFade(dst, Splat(colour), Pixels(src), Splat(levels));
#endif
  RowWords from;
  uint32_t out[kRowWords];
  for (int y = 0; y < kHeight; ++y) {
    from.Load(src + y * kWidth);
    for (int i = 0; i < kRowWords; ++i) out[i] = BlendWord(colour, from.w[i], levels);
    StoreRow(dst + y * kWidth, out);
  }
}

namespace {

// Per-pixel levels from a table. Inverted, 0x00FF00FF minus the table word gives 255 - v in both
// halves at once for values up to 255; larger values are outside what the timeline produces.
template <bool kInverted>
GW_WIDE_CLONES void TableFade(uint16_t* dst, const uint16_t* src, int r, int g, int b,
                              const uint16_t* table) {
  const uint32_t colour = ColourWord(r, g, b);
#ifdef GW_WASM_WIDE
  if (UseWasmWide(kWasmTableFade)) {
    auto inverted = [table](int i) {
      return wasm_i32x4_sub(wasm_i32x4_splat(0x00FF00FF), wasm_v128_load(table + i));
    };
    if constexpr (kInverted)
      return WasmFade(dst, Splat(colour), Pixels(src), inverted);
    else
      return WasmFade(dst, Splat(colour), Pixels(src), Pixels(table));
  }
#endif
  RowWords from, levels;
  uint32_t out[kRowWords];
  for (int y = 0; y < kHeight; ++y) {
    from.Load(src + y * kWidth);
    levels.Load(table + y * kWidth);
    for (int i = 0; i < kRowWords; ++i)
      out[i] = BlendWord(colour, from.w[i], kInverted ? 0x00FF00FFu - levels.w[i] : levels.w[i]);
    StoreRow(dst + y * kWidth, out);
  }
}

}  // namespace

void CrossfadeToColorTable(uint16_t* dst, const uint16_t* src, int r, int g, int b,
                           const uint16_t* table) {
  TableFade<false>(dst, src, r, g, b, table);
}

void CrossfadeToColorTable2(uint16_t* dst, const uint16_t* src, int r, int g, int b,
                            const uint16_t* table) {
  TableFade<true>(dst, src, r, g, b, table);
}
