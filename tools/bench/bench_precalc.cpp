// Cost of the start-up precalculation without its pacing: on the headless clock the 20 ms waits
// cost nothing, so the figures are the pure computation (tables, loading frames, 3D objects).
// Run from the build folder, where "fonts16.bin" is.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "platform/demo.h"
#include "platform/platform.h"
#include "precalc/precalc.h"
#include "show/loading.h"
#include "show/script.h"

namespace {

void BM_Precalcs(benchmark::State& state) {
  FILE* fonts = std::fopen("fonts16.bin", "rb");
  if (!fonts) {
    state.SkipWithError("fonts16.bin not in the working directory");
    return;
  }
  std::fclose(fonts);
  UseHeadlessPlatform();
  for (auto _ : state) {
    more = 0;
    if (const char* fault = precalcs()) {
      state.SkipWithError(fault);
      return;
    }
    benchmark::DoNotOptimize(vram[0]);
  }
}
BENCHMARK(BM_Precalcs)->Unit(benchmark::kMillisecond);

void BM_EffectsInit(benchmark::State& state) {
  UseHeadlessPlatform();
  for (auto _ : state) {
    more = 0;
    EffectsInit();
    benchmark::DoNotOptimize(dist_angle[0]);
  }
}
BENCHMARK(BM_EffectsInit)->Unit(benchmark::kMillisecond);

void BM_PolarTableOnly(benchmark::State& state) {
  UseHeadlessPlatform();
  for (auto _ : state) {
    PolarInit();
    benchmark::DoNotOptimize(dist_angle[0]);
  }
}
BENCHMARK(BM_PolarTableOnly)->Unit(benchmark::kMillisecond);

void BM_LoadingFrame(benchmark::State& state) {
  initFrondle();
  float angle = 0;
  for (auto _ : state) {
    RotozoomerFiltered(screen1, FrondleGrad, angle, 0.25f);
    angle += 32;
    benchmark::DoNotOptimize(screen1[0]);
  }
}
BENCHMARK(BM_LoadingFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
