// The hot loops have wide versions for AVX2 and AVX-512, chosen when the program starts from what
// the processor supports, and for WebAssembly SIMD, chosen when the web edition is built; every
// version gives the same pixels as the plain loop. A build with GW_PLAIN_LOOPS keeps to the plain
// loops, so that the tests check them on any machine.
#pragma once
#include <cstdint>

// Hand-written AVX-512 paths, taken when the processor has the instructions.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(GW_PLAIN_LOOPS)
#define GW_X86_WIDE 1
#include <immintrin.h>
#endif

// Loops compiled once per instruction set and picked at load time (GCC only: clang rejects the
// clones combined with flatten). The pick is an ifunc, which only ELF's loaders have: Windows
// programs keep the plain loop there, and the hand-written paths below still apply.
#if defined(GW_X86_WIDE) && !defined(__clang__) && defined(__ELF__)
#define GW_CLONES(...) __attribute__((target_clones(__VA_ARGS__), flatten))
#else
#define GW_CLONES(...)
#endif
#define GW_WIDE_CLONES GW_CLONES("arch=x86-64-v4", "avx2", "default")

#ifdef GW_X86_WIDE
#define GW_AVX512F __attribute__((target("avx512f")))
#define GW_AVX512BW __attribute__((target("avx512f,avx512bw")))
#define GW_AVX512VBMI __attribute__((target("avx512f,avx512bw,avx512vbmi")))

// What the processor has, asked once.
inline bool HasAvx512f() {
  static const bool has = __builtin_cpu_supports("avx512f");
  return has;
}
inline bool HasAvx512bw() {
  static const bool has = __builtin_cpu_supports("avx512bw");
  return has;
}
inline bool HasAvx512Vbmi() {
  static const bool has =
      __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
  return has;
}
#endif

// Hand-written WebAssembly SIMD (128-bit) paths: every browser that runs the page has them, so
// the web build takes them whenever it is compiled with -msimd128.
#if defined(__wasm_simd128__) && !defined(GW_PLAIN_LOOPS)
#define GW_WASM_WIDE 1
#include <wasm_simd128.h>

// The web's wide loops, one bit each. The equality check (web/wide_check.cpp) turns them off to
// run the plain twins on the same inputs, and reads which ones ran: a pick that never takes its
// wide loop shows as a missing bit.
enum WasmLoop : uint32_t {
  kWasmTranspose = 1u << 0,
  kWasmRotoGrey = 1u << 1,
  kWasmRotoColour = 1u << 2,
  kWasmBlobNearest = 1u << 3,
  kWasmBlur = 1u << 4,
  kWasmCrossfade = 1u << 5,
  kWasmTableFade = 1u << 6,
  kWasmPolar = 1u << 7,
  kWasmStarSpans = 1u << 8,
};
constexpr uint32_t kWasmAllLoops = (kWasmStarSpans << 1) - 1;  // every bit above
inline bool wasm_wide_on = true;
inline uint32_t wasm_wide_ran = 0;

// The one place a web loop is picked.
inline bool UseWasmWide(WasmLoop loop) {
  if (!wasm_wide_on) return false;
  wasm_wide_ran |= loop;
  return true;
}
#endif
