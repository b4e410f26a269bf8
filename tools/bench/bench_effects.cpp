// Time per call of each 2D effect over a 320 x 240 buffer, with the tables built as at start-up.
#include <benchmark/benchmark.h>

#include <vector>

#include "effects/effects.h"
#include "platform/demo.h"
#include "platform/platform.h"
#include "precalc/precalc.h"
#include "show/script.h"

namespace {

void BuildTables() {
  static bool built = false;
  if (built) return;
  built = true;
  UseHeadlessPlatform();
  SetColors();
  SinePrecs();
  PlasmaInit();
  PolarInit();
  RotoBitmapInit();
  InitBlob();
  Stars3dInit();
}

std::vector<uint16_t> Intensities() {
  std::vector<uint16_t> v(kPixels);
  uint32_t seed = 12345;
  for (auto& p : v) {
    seed = seed * 1664525u + 1013904223u;
    p = static_cast<uint16_t>(seed >> 24);
  }
  return v;
}

void BM_ShowGradBuffer(benchmark::State& state) {
  BuildTables();
  auto src = Intensities();
  for (auto _ : state) {
    ShowGradBuffer(vram, src.data(), shades + 8 * 256);
    benchmark::DoNotOptimize(vram);
  }
}

void BM_SineBuffer(benchmark::State& state) {
  BuildTables();
  auto buf = Intensities();
  uint32_t t = 0;
  for (auto _ : state) {
    prticks = t += 20;
    SineBuffer(buf.data(), static_cast<int>(state.range(0)));
    benchmark::DoNotOptimize(buf.data());
  }
}

void BM_ColorPlasma(benchmark::State& state) {
  BuildTables();
  for (auto _ : state) {
    ++prfrm;
    ColorPlasma(vram);
    benchmark::DoNotOptimize(vram);
  }
}

void BM_Polar(benchmark::State& state) {
  BuildTables();
  for (auto _ : state) {
    ++prfrm;
    Polar(vram, shades);
    benchmark::DoNotOptimize(vram);
  }
}

void BM_RotozoomerNearest(benchmark::State& state) {
  BuildTables();
  float angle = 0;
  for (auto _ : state) {
    RotozoomerNearest(vram, angle += 7, 0.3f);
    benchmark::DoNotOptimize(vram);
  }
}

// range(0) and range(1) are the band limits: 240,240 all nearest, 0,240 all grey, 0,0 all colour.
void BM_RotozoomerAll(benchmark::State& state) {
  BuildTables();
  float angle = 0;
  auto row1 = static_cast<uint32_t>(state.range(0)), row2 = static_cast<uint32_t>(state.range(1));
  for (auto _ : state) {
    RotozoomerAll(vram, angle += 7, 0.3f, row1, row2);
    benchmark::DoNotOptimize(vram);
  }
}

void BM_BlurX(benchmark::State& state) {
  auto src = Intensities();
  for (auto _ : state) {
    BlurX(blurbuffer1, src.data(), static_cast<uint32_t>(state.range(0)));
    benchmark::DoNotOptimize(blurbuffer1);
  }
}

void BM_FlipBitmap(benchmark::State& state) {
  auto src = Intensities();
  for (auto _ : state) {
    FlipBitmap(src.data(), flipped);
    benchmark::DoNotOptimize(flipped);
  }
}

void BM_BlurY(benchmark::State& state) {
  auto src = Intensities();
  for (auto _ : state) {
    BlurY(blurbuffer2, src.data(), static_cast<uint32_t>(state.range(0)));
    benchmark::DoNotOptimize(blurbuffer2);
  }
}

// The timeline's blur pass: BlurX, the transpose, BlurY, as the timeline runs them in one go.
void BM_BlurPass(benchmark::State& state) {
  auto src = Intensities();
  auto r = static_cast<uint32_t>(state.range(0));
  for (auto _ : state) {
    BlurBothWays(blurbuffer1, flipped, blurbuffer2, src.data(), r);
    benchmark::DoNotOptimize(blurbuffer2);
  }
}

void BM_Galaxy(benchmark::State& state) {
  BuildTables();
  uint32_t t = 53248;
  for (auto _ : state) {
    prticks = t += 20;
    ClearBlobs(gradbuffer);
    Galaxy(gradbuffer, 0, static_cast<float>(state.range(0)));
    benchmark::DoNotOptimize(gradbuffer);
  }
}

void BM_BlobStars3d(benchmark::State& state) {
  BuildTables();
  scsize = 1024;
  for (auto _ : state) {
    ClearBlobs(gradbuffer);
    BlobStars3d(gradbuffer, 0);
    benchmark::DoNotOptimize(gradbuffer);
  }
}

void BM_BigBlobBilinear(benchmark::State& state) {
  BuildTables();
  for (auto _ : state) {
    ClearBlobs(screen2);
    drawZoomBlob(160, 120, 8.0, 1, screen2);
    benchmark::DoNotOptimize(screen2);
  }
}

void BM_ClearScreen(benchmark::State& state) {
  for (auto _ : state) {
    ClearScreen(gradbuffer);
    benchmark::DoNotOptimize(gradbuffer);
  }
}

}  // namespace

BENCHMARK(BM_ClearScreen)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ShowGradBuffer)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SineBuffer)->Arg(160)->Arg(400)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ColorPlasma)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Polar)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RotozoomerNearest)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RotozoomerAll)->Args({240, 240})->Args({0, 240})->Args({0, 0})->Args({80, 160})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BlurX)->Arg(1)->Arg(16)->Arg(159)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FlipBitmap)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BlurY)->Arg(1)->Arg(16)->Arg(119)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BlurPass)->Arg(9)->Arg(16)->Arg(31)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Galaxy)->Arg(0)->Arg(895)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BlobStars3d)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BigBlobBilinear)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
