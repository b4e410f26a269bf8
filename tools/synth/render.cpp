// Turns the parsed song into samples. Each note is rendered on its own, always from its start
// (oscillator phase, noise and filter state depend on it), straight into the mix, so a render of
// part of the song matches the same span of a whole render apart from echoes of notes before
// the span. The voice loop is where the time goes.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "tools/synth/synth.h"

namespace gw_synth {

double Adsr::Level(double t, double gate) const {
  auto held = [this](double u) {
    if (u < attack) return u / attack;
    u -= attack;
    if (u < decay) return 1.0 - (1.0 - sustain) * (u / decay);
    return sustain;
  };
  if (t < 0) return 0;
  if (t < gate) return held(t);
  if (t >= gate + release) return 0;
  return held(gate) * (1.0 - (t - gate) / release);
}

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

struct Event {
  double start, gate;
  int instrument, key;
  double velocity, gain, bright;
  uint32_t seed;
};

// Integer hash so every note gets its own fixed noise stream, independent of render order.
uint32_t Mix32(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x ? x : 1;
}

struct Noise {
  uint32_t state;
  float Next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return float(int32_t(state >> 8) - (1 << 23)) * (1.0f / float(1 << 23));
  }
};

// Zero-delay-feedback state-variable filter: stays stable under fast cutoff sweeps.
struct Svf {
  double a1 = 1, a2 = 0, a3 = 0, k = 2, ic1 = 0, ic2 = 0;
  void Tune(double hz, double resonance) {
    hz = std::clamp(hz, 20.0, 0.45 * kSampleRate);
    double g = std::tan(std::numbers::pi * hz / kSampleRate);
    k = 2.0 - 1.95 * resonance;
    a1 = 1.0 / (1.0 + g * (g + k));
    a2 = g * a1;
    a3 = g * a2;
  }
  // Returns low-pass; band and high are derived on request.
  double Run(double v0, double* high = nullptr) {
    double v3 = v0 - ic2;
    double v1 = a1 * ic1 + a2 * v3;
    double v2 = ic2 + a2 * ic1 + a3 * v3;
    ic1 = 2 * v1 - ic1;
    ic2 = 2 * v2 - ic2;
    if (high) *high = v0 - k * v1 - v2;
    return v2;
  }
};

// Band-limited step correction: removes most aliasing from saw and pulse edges.
double PolyBlep(double p, double dt) {
  if (p < dt) {
    p /= dt;
    return p + p - p * p - 1.0;
  }
  if (p > 1.0 - dt) {
    p = (p - 1.0) / dt;
    return p * p + p + p + 1.0;
  }
  return 0.0;
}

double Oscillator(Wave wave, double p, double dt, double width, Noise& noise) {
  switch (wave) {
    case Wave::kSaw: return 2.0 * p - 1.0 - PolyBlep(p, dt);
    case Wave::kSine: return std::sin(kTwoPi * p);
    case Wave::kTriangle: return 4.0 * std::abs(p - 0.5) - 1.0;
    case Wave::kNoise: return noise.Next();
    case Wave::kSquare: width = 0.5; [[fallthrough]];
    case Wave::kPulse: {
      double q = p + 1.0 - width;
      q -= std::floor(q);
      double v = p < width ? 1.0 : -1.0;
      return v + PolyBlep(p, dt) - PolyBlep(q, dt) - (2.0 * width - 1.0);
    }
  }
  return 0.0;
}

struct Output {
  Audio* audio;
  std::vector<float>* send;
  int64_t first;  // song sample of audio index 0
};

void Emit(const Output& out, int64_t at, double v, double pan_l, double pan_r, double send) {
  int64_t i = at - out.first;
  if (i < 0 || i >= int64_t(out.audio->left.size())) return;
  out.audio->left[size_t(i)] += float(v * pan_l);
  out.audio->right[size_t(i)] += float(v * pan_r);
  (*out.send)[size_t(i)] += float(v * send);
}

double FilterEnvelope(const Instrument& in, double t) {
  if (t < in.fattack) return t / in.fattack;
  if (in.fdecay <= 0) return 1.0;
  return std::exp(-(t - in.fattack) / in.fdecay);
}

void RenderTone(const Instrument& in, const Event& e, const Output& out, int64_t end) {
  double freq = NoteFrequency(e.key);
  double dt1 = freq / kSampleRate, dt2 = dt1 * std::pow(2.0, in.detune / 1200.0);
  double p1 = 0, p2 = 0.37, ps = 0;
  double osc_gain = in.detune > 0 ? 0.6 : 1.0;
  bool filtered = in.cutoff < 20000 || in.envmod != 0;
  double pan_l = std::cos((in.pan + 1) * std::numbers::pi / 4), pan_r = std::sin((in.pan + 1) * std::numbers::pi / 4);
  double level = e.velocity * e.gain * in.gain;
  Noise noise{e.seed};
  Svf svf;
  int64_t start = int64_t(std::llround(e.start * kSampleRate));
  for (int64_t n = 0; n < end; n++) {
    double t = double(n) / kSampleRate;
    if ((n & 15) == 0 && filtered)
      svf.Tune((in.cutoff + in.envmod * FilterEnvelope(in, t)) * e.bright, in.resonance);
    double v = Oscillator(in.wave, p1, dt1, in.width, noise);
    if (in.detune > 0) v += Oscillator(in.wave, p2, dt2, in.width, noise);
    v *= osc_gain;
    if (in.sub > 0) v += in.sub * std::sin(kTwoPi * ps);
    if (filtered) v = svf.Run(v);
    Emit(out, start + n, v * level * in.env.Level(t, e.gate), pan_l, pan_r, in.send);
    p1 += dt1, p2 += dt2, ps += dt1 * 0.5;
    p1 -= std::floor(p1), p2 -= std::floor(p2), ps -= std::floor(ps);
  }
}

// Kick: a sine whose pitch falls fast; snare: noise plus a short falling tone; hats and crash:
// high-passed noise. The first millisecond ramps in so no hit starts with a click.
void RenderDrum(const Instrument& in, const Event& e, const Output& out, int64_t end) {
  double pan_l = std::cos((in.pan + 1) * std::numbers::pi / 4), pan_r = std::sin((in.pan + 1) * std::numbers::pi / 4);
  double level = e.velocity * e.gain * in.gain, decay = in.env.decay, phase = 0;
  Noise noise{e.seed};
  Svf svf;
  double hp_hz = in.drum == Drum::kSnare ? 1300 : in.drum == Drum::kCrash ? 4500 : 7500;
  svf.Tune(hp_hz * in.tone * e.bright, 0.1);
  int64_t start = int64_t(std::llround(e.start * kSampleRate));
  for (int64_t n = 0; n < end; n++) {
    double t = double(n) / kSampleRate;
    double amp = std::exp(-t / decay) * std::min(1.0, t * 1000.0), v = 0;
    if (in.drum == Drum::kKick) {
      phase += (44.0 + 130.0 * std::exp(-t / 0.03)) * in.tone / kSampleRate;
      v = std::sin(kTwoPi * phase);
    } else {
      double high = 0;
      svf.Run(noise.Next(), &high);
      v = high;
      if (in.drum == Drum::kSnare) {
        phase += (180.0 + 60.0 * std::exp(-t / 0.02)) * in.tone / kSampleRate;
        v = 0.8 * v + 0.9 * std::sin(kTwoPi * phase) * std::exp(-t / 0.05);
      }
    }
    Emit(out, start + n, v * amp * level, pan_l, pan_r, in.send);
  }
}

double VoiceLength(const Instrument& in, const Event& e) {
  return in.drum != Drum::kNone ? 9.3 * in.env.decay : in.env.Length(e.gate);
}

void AddPlay(const Song& song, size_t s, const Play& play, std::vector<Event>& events) {
  const Section& section = song.sections[s];
  const Pattern& pattern = song.patterns[size_t(play.pattern)];
  double beat = song.SecondsPerBeat(s), sixteenth = beat / 4;
  double span = play.to - play.from, pattern_beats = pattern.sixteenths / 4.0;
  for (double loop = play.from; loop < play.to; loop += pattern_beats) {
    for (const Track& track : pattern.tracks) {
      for (const Note& note : track.notes) {
        double at = loop + note.step / 4.0;
        if (at >= play.to) continue;
        double gate = std::min(note.length / 4.0, play.to - at) * beat - 0.002;
        double x = (at - play.from) / span;
        Event e{section.at + at * beat, std::max(gate, sixteenth * 0.25), track.instrument, 0, note.velocity,
                play.gain0 + (play.gain1 - play.gain0) * x, play.bright0 + (play.bright1 - play.bright0) * x, 0};
        if (note.keys.empty()) events.push_back(e);
        for (int key : note.keys) {
          e.key = std::clamp(key + play.transpose, 0, 127);
          events.push_back(e);
        }
      }
    }
  }
}

std::vector<Event> Schedule(const Song& song) {
  std::vector<Event> events;
  for (size_t s = 0; s < song.sections.size(); s++)
    for (const Play& play : song.sections[s].plays) AddPlay(song, s, play, events);
  for (size_t i = 0; i < events.size(); i++) events[i].seed = Mix32(uint32_t(i) * 2654435761U + 12345U);
  return events;
}

// Ping-pong echo: the send enters on the left and bounces across, darker at every pass.
void Echo(const Song& song, Audio& audio, const std::vector<float>& send) {
  size_t dl = size_t(song.delay_left * kSampleRate), dr = size_t(song.delay_right * kSampleRate);
  std::vector<float> line_l(dl, 0.0f), line_r(dr, 0.0f);
  size_t il = 0, ir = 0;
  float damp_l = 0, damp_r = 0, fb = float(song.feedback);
  for (size_t n = 0; n < send.size(); n++) {
    float out_l = line_l[il], out_r = line_r[ir];
    damp_l += 0.45f * (out_l - damp_l);
    damp_r += 0.45f * (out_r - damp_r);
    line_l[il] = send[n] + fb * damp_r;
    line_r[ir] = fb * damp_l;
    audio.left[n] += out_l;
    audio.right[n] += out_r;
    if (++il == dl) il = 0;
    if (++ir == dr) ir = 0;
  }
}

// Master gain, a DC blocker (a few hertz) and the closing fade.
void Master(const Song& song, Audio& audio, int64_t first) {
  for (auto* ch : {&audio.left, &audio.right}) {
    double x1 = 0, y1 = 0;
    for (size_t n = 0; n < ch->size(); n++) {
      double x = (*ch)[n] * song.master;
      double y = x - x1 + 0.9985 * y1;
      x1 = x, y1 = y;
      double t = double(first + int64_t(n)) / kSampleRate;
      if (song.fade >= 0 && t > song.fade) {
        double f = std::min(1.0, (t - song.fade) / (song.end - song.fade));
        y *= 0.5 + 0.5 * std::cos(std::numbers::pi * f);
      }
      (*ch)[n] = float(y);
    }
  }
}

}  // namespace

Audio Render(const Song& song, double start, double seconds) {
  int64_t total = std::llround(song.end * kSampleRate);
  int64_t first = std::clamp<int64_t>(std::llround(start * kSampleRate), 0, total);
  int64_t last = seconds < 0 ? total : std::clamp<int64_t>(first + std::llround(seconds * kSampleRate), first, total);
  Audio audio;
  audio.left.assign(size_t(last - first), 0.0f);
  audio.right.assign(size_t(last - first), 0.0f);
  std::vector<float> send(size_t(last - first), 0.0f);
  Output out{&audio, &send, first};
  for (const Event& e : Schedule(song)) {
    const Instrument& in = song.instruments[size_t(e.instrument)];
    int64_t at = std::llround(e.start * kSampleRate);
    int64_t length = int64_t(std::ceil(VoiceLength(in, e) * kSampleRate));
    int64_t begin = std::max<int64_t>(0, first - at), end = std::min(length, last - at);
    if (begin >= end) continue;
    if (in.drum != Drum::kNone) RenderDrum(in, e, out, end);
    else RenderTone(in, e, out, end);
  }
  Echo(song, audio, send);
  Master(song, audio, first);
  Limit(audio, song.ceiling);
  return audio;
}

void Limit(Audio& audio, double ceiling) {
  size_t n = audio.left.size();
  if (n == 0) return;
  std::vector<float> gain(n);
  for (size_t i = 0; i < n; i++) {
    double peak = std::max(std::abs(audio.left[i]), std::abs(audio.right[i]));
    gain[i] = float(peak > ceiling ? ceiling / peak : 1.0);
  }
  // Slow recovery forward, then a 5 ms ramp down ahead of each peak; both only lower the gain,
  // so every sample stays at or under the ceiling.
  const float recover = 1.0f / (0.2f * kSampleRate), ramp = 1.0f / (0.005f * kSampleRate);
  for (size_t i = 1; i < n; i++) gain[i] = std::min(gain[i], gain[i - 1] + (1.0f - gain[i - 1]) * recover);
  for (size_t i = n - 1; i-- > 0;) gain[i] = std::min(gain[i], gain[i + 1] + ramp);
  const float top = float(ceiling);
  for (size_t i = 0; i < n; i++) {
    audio.left[i] = std::clamp(audio.left[i] * gain[i], -top, top);
    audio.right[i] = std::clamp(audio.right[i] * gain[i], -top, top);
  }
}

uint64_t HashSamples(const Audio& audio) {
  uint64_t h = 1469598103934665603ULL;
  auto feed = [&h](const std::vector<float>& ch) {
    for (float f : ch) {
      uint32_t bits;
      static_assert(sizeof bits == sizeof f);
      std::memcpy(&bits, &f, sizeof bits);
      h = (h ^ bits) * 1099511628211ULL;
    }
  };
  feed(audio.left);
  feed(audio.right);
  return h;
}

}  // namespace gw_synth
