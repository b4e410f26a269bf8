// Time of one RenderOld call for the render modes on their real objects at the placements the
// scenes use (depth, a few turned orientations). The scenes' modes are 544, 32 and 264; the
// other modes are timed on the cube for comparison.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine3d/engine3d.h"
#include "platform/demo.h"
#include "precalc/precalc.h"
#include "render3d/render3d.h"

namespace {

struct Pose {
  float rot_x, rot_y, rot_z;
};
constexpr Pose kPoses[] = {{0.0f, 0.0f, 0.0f}, {0.5f, 0.8f, 0.3f}, {1.1f, 2.3f, 0.7f},
                           {2.9f, 0.4f, 1.9f}};

void Prepare() {
  static bool done = false;
  if (done) return;
  done = true;
  PrecDivs();
  SetColors();
  for (int i = 0; i < 3; ++i) InitTestObject(&object[i], i);
  for (int i = 0; i < 65536; ++i) mirror[i] = static_cast<uint16_t>(i * 2654435761u >> 16);
}

void Place(Object3d* obj, float pos_z, const Pose& pose) {
  obj->rot_x = pose.rot_x, obj->rot_y = pose.rot_y, obj->rot_z = pose.rot_z;
  obj->pos_x = 0.0f, obj->pos_y = 0.0f, obj->pos_z = pos_z;
  Calc3d(obj);
}

// state.range(0): object slot, range(1): mode, range(2): depth, range(3): pose.
void BM_RenderOld(benchmark::State& state) {
  Prepare();
  Object3d* obj = &object[state.range(0)];
  const int32_t mode = static_cast<int32_t>(state.range(1));
  const int32_t table = mode == 544 || mode == 32 ? 0 : 1;
  Place(obj, static_cast<float>(state.range(2)), kPoses[state.range(3)]);
  const bool depthKept = mode == 64 || mode == 264;
  std::memset(vram, 0, sizeof vram);
  ClearZbuffer();
  for (auto _ : state) {
    if (depthKept) {  // the scenes clear once per frame; here every call draws into a clear one
      state.PauseTiming();
      ClearZbuffer();
      state.ResumeTiming();
    }
    RenderMode = mode;
    RenderOld(obj, table, vram);
    benchmark::ClobberMemory();
  }
  long drawn = 0;
  for (uint16_t p : vram) drawn += p != 0;
  state.counters["pixels"] = static_cast<double>(drawn);
}

void SceneModes(benchmark::internal::Benchmark* b) {
  for (int pose = 0; pose < 4; ++pose) {
    b->Args({1, 544, 72, pose});
    b->Args({0, 32, 256, pose});
    b->Args({2, 264, 384, pose});
    b->Args({2, 264, 128, pose});  // the nearest a star comes
  }
}

void OtherModes(benchmark::internal::Benchmark* b) {
  for (int mode : {1, 4, 8, 16, 64, 260, 272, 288, 544}) b->Args({0, mode, 256, 1});
}

// The machine is shared: the smallest of several repetitions is the figure to read.
double Smallest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

BENCHMARK(BM_RenderOld)
    ->Apply(SceneModes)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ComputeStatistics("min", Smallest)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_RenderOld)
    ->Apply(OtherModes)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ComputeStatistics("min", Smallest)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
