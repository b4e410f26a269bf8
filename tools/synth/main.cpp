// glasswhirligo-synth: renders a song description to OGG Vorbis (and optionally WAV).
//   glasswhirligo-synth SONG OUT.ogg [--wav OUT.wav] [--quality Q] [--bench]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "tools/synth/synth.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: glasswhirligo-synth SONG OUT.ogg [--wav OUT.wav] [--quality Q] [--bench]\n");
  return 2;
}

// Processor time, so a busy machine does not make the synthesizer look slow.
double CpuSeconds(std::clock_t since) { return double(std::clock() - since) / CLOCKS_PER_SEC; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  std::string song_path = argv[1], ogg_path = argv[2], wav_path;
  float quality = 0.4f;
  bool bench = false;
  for (int i = 3; i < argc; i++) {
    if (!std::strcmp(argv[i], "--wav") && i + 1 < argc) wav_path = argv[++i];
    else if (!std::strcmp(argv[i], "--quality") && i + 1 < argc) quality = float(std::atof(argv[++i]));
    else if (!std::strcmp(argv[i], "--bench")) bench = true;
    else return Usage();
  }
  if (!(quality >= -0.1f && quality <= 1.0f)) return Usage();
  try {
    gw_synth::Song song = gw_synth::LoadSong(song_path);
    std::clock_t start = std::clock();
    gw_synth::Audio audio = gw_synth::Render(song);
    double synth_time = CpuSeconds(start);
    if (!wav_path.empty() && !gw_synth::WriteWav(wav_path, audio)) {
      std::fprintf(stderr, "glasswhirligo-synth: cannot write %s\n", wav_path.c_str());
      return 1;
    }
    start = std::clock();
    if (!gw_synth::WriteOgg(ogg_path, audio, quality)) {
      std::fprintf(stderr, "glasswhirligo-synth: cannot write %s\n", ogg_path.c_str());
      return 1;
    }
    double encode_time = CpuSeconds(start);
    if (bench)
      std::printf("%.1f s of audio: synthesis %.2f CPU s (%.0fx real time), encoding %.2f s (%.0fx), together %.0fx\n",
                  audio.Seconds(), synth_time, audio.Seconds() / synth_time, encode_time,
                  audio.Seconds() / encode_time, audio.Seconds() / (synth_time + encode_time));
  } catch (const gw_synth::SongError& e) {
    std::fprintf(stderr, "%s: %s\n", song_path.c_str(), e.what());
    return 1;
  }
  return 0;
}
