// The song synthesizer: parses a text song description and renders it to stereo float samples.
// The cost lies in the voices (oscillators + filter per sample); the mix bus, delay and limiter
// are single passes over the finished buffers.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace gw_synth {

constexpr int kSampleRate = 44100;

// MIDI numbering: A4 is 69 and sounds at 440 Hz; C4 is 60.
double NoteFrequency(int midi);
// "A4", "C#3", "Bb2", "c-1" (octave may be negative); nothing for anything else.
std::optional<int> ParseNote(std::string_view name);

// Linear attack to 1, linear decay to the sustain level, hold while the gate is open, then a
// linear release to 0 from whatever level the note-off caught.
struct Adsr {
  double attack = 0.005;
  double decay = 0.1;
  double sustain = 1.0;
  double release = 0.05;
  double Level(double t, double gate) const;
  double Length(double gate) const { return gate + release; }
};

enum class Wave { kSaw, kSquare, kPulse, kSine, kTriangle, kNoise };
enum class Drum { kNone, kKick, kSnare, kHat, kOpenHat, kCrash };

struct Instrument {
  std::string name;
  Wave wave = Wave::kSaw;
  Drum drum = Drum::kNone;
  double width = 0.5;        // pulse duty cycle
  double detune = 0.0;       // cents of the second oscillator; 0 means one oscillator
  double sub = 0.0;          // level of a sine an octave below
  Adsr env;
  double cutoff = 20000.0;   // Hz; the filter is off at 20 kHz and above
  double resonance = 0.0;    // 0 .. 1
  double envmod = 0.0;       // Hz added at the filter envelope's peak
  double fattack = 0.0;      // filter envelope rise time
  double fdecay = 0.0;       // filter envelope fall time; 0 holds the peak
  double gain = 0.5;
  double pan = 0.0;          // -1 left .. 1 right
  double send = 0.0;         // share sent to the delay
  double tone = 1.0;         // drum pitch / brightness factor
};

struct Note {
  int step = 0;              // sixteenth of the pattern where the note starts
  int length = 1;            // in sixteenths
  std::vector<int> keys;     // MIDI notes (a chord has several); empty for a drum hit
  double velocity = 0.8;
};

struct Track {
  int instrument = 0;
  std::vector<Note> notes;
};

struct Pattern {
  std::string name;
  int sixteenths = 16;
  std::vector<Track> tracks;
};

// A pattern looped over a span of a section's beats, with per-play gain and brightness ramps.
struct Play {
  int pattern = 0;
  double from = 0, to = -1;  // beats from the section start; to < 0 means the section end
  int transpose = 0;
  double gain0 = 1, gain1 = 1;
  double bright0 = 1, bright1 = 1;
};

struct Section {
  std::string name;
  double at = 0;             // seconds from the song start
  int beats = 0;
  std::vector<Play> plays;
};

struct Song {
  std::vector<Instrument> instruments;
  std::vector<Pattern> patterns;
  std::vector<Section> sections;
  double end = 0;            // seconds; the song length
  double fade = -1;          // fade-out start; < 0 means no fade
  double master = 0.8;
  double ceiling = 0.89;     // limiter ceiling, linear
  double delay_left = 0.375, delay_right = 0.5, feedback = 0.35;
  double SectionEnd(size_t i) const { return i + 1 < sections.size() ? sections[i + 1].at : end; }
  double SecondsPerBeat(size_t i) const { return (SectionEnd(i) - sections[i].at) / sections[i].beats; }
};

struct SongError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Throws SongError naming the line on any malformed or inconsistent input.
Song ParseSong(std::string_view text);
Song LoadSong(const std::string& path);

struct Audio {
  std::vector<float> left, right;
  double Seconds() const { return double(left.size()) / kSampleRate; }
};

// Renders [start, start + seconds) of the song; seconds < 0 renders to the end.
Audio Render(const Song& song, double start = 0, double seconds = -1);

// Scales every sample so that none exceeds the ceiling, with a short look-ahead and slow recovery.
void Limit(Audio& audio, double ceiling);

uint64_t HashSamples(const Audio& audio);
bool WriteWav(const std::string& path, const Audio& audio);
bool WriteOgg(const std::string& path, const Audio& audio, float quality);

}  // namespace gw_synth
