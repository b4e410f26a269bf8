// The hot loops have wide versions for AVX2 and AVX-512, chosen when the program starts from what
// the processor supports; every version gives the same pixels as the plain loop. A build with
// GW_PLAIN_LOOPS keeps to the plain loops, so that the tests check them on any machine.
#pragma once

// Hand-written AVX-512 paths, taken when the processor has the instructions.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(GW_PLAIN_LOOPS)
#define GW_X86_WIDE 1
#include <immintrin.h>
#endif

// Loops compiled once per instruction set and picked at load time (GCC only: clang rejects the
// clones combined with flatten).
#if defined(GW_X86_WIDE) && !defined(__clang__)
#define GW_CLONES(...) __attribute__((target_clones(__VA_ARGS__), flatten))
#else
#define GW_CLONES(...)
#endif
#define GW_WIDE_CLONES GW_CLONES("arch=x86-64-v4", "avx2", "default")
