// Whole-song render speed: the "audio_s_per_s" counter is seconds of song per second of CPU
// (the song must render well ahead of real time so the build stays quick).
#include <benchmark/benchmark.h>

#include "tools/synth/synth.h"

namespace {

void BM_RenderSong(benchmark::State& state) {
  gw_synth::Song song = gw_synth::LoadSong(GW_SOURCE_DIR "/data/song/demosong.song");
  double seconds = 0;
  for (auto _ : state) {
    gw_synth::Audio audio = gw_synth::Render(song);
    benchmark::DoNotOptimize(audio.left.data());
    seconds += audio.Seconds();
  }
  state.counters["audio_s_per_s"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderSong)->Unit(benchmark::kSecond)->Iterations(2);

void BM_EncodeTenSeconds(benchmark::State& state) {
  gw_synth::Song song = gw_synth::LoadSong(GW_SOURCE_DIR "/data/song/demosong.song");
  gw_synth::Audio audio = gw_synth::Render(song, 90, 10);
  for (auto _ : state) gw_synth::WriteOgg("/dev/null", audio, 0.4f);
  state.counters["audio_s_per_s"] =
      benchmark::Counter(audio.Seconds() * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EncodeTenSeconds)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
