// Time per call of each crossfade over a whole 320 x 240 frame, in place as the timeline uses
// them and between separate buffers.
#include <benchmark/benchmark.h>

#include <vector>

#include "effects/effects.h"
#include "platform/demo.h"

namespace {

std::vector<uint16_t> Pattern(uint32_t seed) {
  std::vector<uint16_t> v(kPixels);
  for (auto& p : v) {
    seed = seed * 1664525u + 1013904223u;
    p = static_cast<uint16_t>(seed >> 16);
  }
  return v;
}

std::vector<uint16_t> Levels() {
  std::vector<uint16_t> v = Pattern(7);
  for (auto& p : v) p &= 255;
  return v;
}

void BM_Crossfade(benchmark::State& state) {
  auto a = Pattern(1), b = Pattern(2), dst = Pattern(3);
  int level = 0;
  for (auto _ : state) {
    Crossfade(dst.data(), a.data(), b.data(), level++);
    benchmark::DoNotOptimize(dst.data());
  }
}

void BM_CrossfadeInPlace(benchmark::State& state) {
  auto a = Pattern(1), dst = Pattern(3);
  for (auto _ : state) {
    Crossfade(dst.data(), a.data(), dst.data(), 77);
    benchmark::DoNotOptimize(dst.data());
  }
}

void BM_CrossfadeToColor(benchmark::State& state) {
  auto dst = Pattern(3);
  for (auto _ : state) {
    CrossfadeToColor(dst.data(), dst.data(), 255, 255, 255, 200);
    benchmark::DoNotOptimize(dst.data());
  }
}

void BM_CrossfadeToColorTable(benchmark::State& state) {
  auto src = Pattern(1), table = Levels(), dst = Pattern(3);
  for (auto _ : state) {
    CrossfadeToColorTable(dst.data(), src.data(), 0, 0, 0, table.data());
    benchmark::DoNotOptimize(dst.data());
  }
}

void BM_CrossfadeToColorTable2(benchmark::State& state) {
  auto src = Pattern(1), table = Levels(), dst = Pattern(3);
  for (auto _ : state) {
    CrossfadeToColorTable2(dst.data(), src.data(), 255, 255, 255, table.data());
    benchmark::DoNotOptimize(dst.data());
  }
}

}  // namespace

BENCHMARK(BM_Crossfade)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CrossfadeInPlace)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CrossfadeToColor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CrossfadeToColorTable)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CrossfadeToColorTable2)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
