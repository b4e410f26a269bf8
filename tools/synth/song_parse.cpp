// Reads the song text: instruments, patterns (one token per step) and sections placed at absolute
// seconds. Every error names its line, so a typo in the song never yields a silently wrong file.
#include <cmath>
#include <fstream>
#include <sstream>

#include "tools/synth/synth.h"

namespace gw_synth {

std::optional<int> ParseNote(std::string_view name) {
  static constexpr int kSemitone[7] = {9, 11, 0, 2, 4, 5, 7};  // a b c d e f g
  if (name.size() < 2) return std::nullopt;
  char letter = char(name[0] | 0x20);
  if (letter < 'a' || letter > 'g') return std::nullopt;
  int key = kSemitone[letter - 'a'];
  size_t i = 1;
  if (name[i] == '#') key++, i++;
  else if (name[i] == 'b' && i + 1 < name.size()) key--, i++;
  bool negative = i < name.size() && name[i] == '-';
  if (negative) i++;
  if (i + 1 != name.size() || name[i] < '0' || name[i] > '9') return std::nullopt;
  int octave = negative ? -(name[i] - '0') : name[i] - '0';
  int midi = (octave + 1) * 12 + key;
  if (midi < 0 || midi > 127) return std::nullopt;
  return midi;
}

double NoteFrequency(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

namespace {

struct Line {
  int number;
  std::vector<std::string> words;
};

// A comment is a '#' that starts a word, so sharps such as G#5 survive.
size_t CommentStart(const std::string& raw) {
  for (size_t i = 0; i < raw.size(); i++)
    if (raw[i] == '#' && (i == 0 || raw[i - 1] == ' ' || raw[i - 1] == '\t')) return i;
  return raw.size();
}

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  std::istringstream in{std::string(text)};
  std::string raw;
  Line line{0, {}};
  bool continued = false;
  for (int number = 1; std::getline(in, raw); number++) {
    raw = raw.substr(0, CommentStart(raw));
    if (!continued) line = {number, {}};
    std::istringstream words(raw);
    for (std::string w; words >> w;)
      if (w != "|") line.words.push_back(w);
    // A trailing backslash carries a long pattern row on to the next line.
    continued = !line.words.empty() && line.words.back() == "\\";
    if (continued) line.words.pop_back();
    else if (!line.words.empty()) lines.push_back(std::move(line));
  }
  if (continued && !line.words.empty()) lines.push_back(std::move(line));
  return lines;
}

[[noreturn]] void Fail(const Line& line, const std::string& what) {
  throw SongError("line " + std::to_string(line.number) + ": " + what);
}

double Number(const Line& line, size_t i) {
  if (i >= line.words.size()) Fail(line, "missing number");
  const std::string& w = line.words[i];
  size_t used = 0;
  double v = 0;
  try {
    v = std::stod(w, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != w.size() || !std::isfinite(v)) Fail(line, "not a number: " + w);
  return v;
}

double InRange(const Line& line, size_t i, double lo, double hi) {
  double v = Number(line, i);
  if (v < lo || v > hi) Fail(line, line.words[i] + " is outside " + std::to_string(lo) + " .. " + std::to_string(hi));
  return v;
}

int Whole(const Line& line, size_t i, double lo, double hi) {
  double v = InRange(line, i, lo, hi);
  if (v != std::floor(v)) Fail(line, line.words[i] + " is not a whole number");
  return int(v);
}

// "a:b" is a ramp over the play; a single value holds still.
void Ramp(const Line& line, size_t i, double& a, double& b) {
  if (i >= line.words.size()) Fail(line, "missing ramp");
  std::string w = line.words[i];
  size_t colon = w.find(':');
  Line one{line.number, {w.substr(0, colon)}};
  a = b = InRange(one, 0, 0, 16);
  if (colon != std::string::npos) {
    Line two{line.number, {w.substr(colon + 1)}};
    b = InRange(two, 0, 0, 16);
  }
}

Wave ParseWave(const Line& line, const std::string& w) {
  static const std::map<std::string, Wave> kWaves = {{"saw", Wave::kSaw},     {"square", Wave::kSquare},
                                                     {"pulse", Wave::kPulse}, {"sine", Wave::kSine},
                                                     {"triangle", Wave::kTriangle}, {"noise", Wave::kNoise}};
  auto it = kWaves.find(w);
  if (it == kWaves.end()) Fail(line, "unknown wave " + w);
  return it->second;
}

// Each drum kind brings its own decay so a bare "drum snare" already sounds right.
void SetDrum(const Line& line, const std::string& w, Instrument& in) {
  static const std::map<std::string, std::pair<Drum, double>> kDrums = {
      {"kick", {Drum::kKick, 0.32}},       {"snare", {Drum::kSnare, 0.14}}, {"hat", {Drum::kHat, 0.035}},
      {"openhat", {Drum::kOpenHat, 0.22}}, {"crash", {Drum::kCrash, 1.3}}};
  auto it = kDrums.find(w);
  if (it == kDrums.end()) Fail(line, "unknown drum " + w);
  in.drum = it->second.first;
  in.env.decay = it->second.second;
}

void InstrumentLine(const Line& line, Instrument& in) {
  const auto& w = line.words;
  for (size_t i = 0; i < w.size();) {
    const std::string& key = w[i];
    auto arg = [&](double lo, double hi) { return InRange(line, i + 1, lo, hi); };
    size_t used = 2;
    if (key == "wave") {
      if (i + 1 >= w.size()) Fail(line, "missing wave");
      in.wave = ParseWave(line, w[i + 1]);
    } else if (key == "drum") {
      if (i + 1 >= w.size()) Fail(line, "missing drum");
      SetDrum(line, w[i + 1], in);
    } else if (key == "adsr") {
      in.env = {arg(0, 30), InRange(line, i + 2, 0, 30), InRange(line, i + 3, 0, 1), InRange(line, i + 4, 0, 30)};
      used = 5;
    } else if (key == "width") in.width = arg(0.01, 0.99);
    else if (key == "detune") in.detune = arg(0, 100);
    else if (key == "sub") in.sub = arg(0, 2);
    else if (key == "decay") in.env.decay = arg(0.001, 30);
    else if (key == "cutoff") in.cutoff = arg(20, 22050);
    else if (key == "resonance") in.resonance = arg(0, 1);
    else if (key == "envmod") in.envmod = arg(-20000, 20000);
    else if (key == "fattack") in.fattack = arg(0, 60);
    else if (key == "fdecay") in.fdecay = arg(0, 60);
    else if (key == "gain") in.gain = arg(0, 4);
    else if (key == "pan") in.pan = arg(-1, 1);
    else if (key == "send") in.send = arg(0, 1);
    else if (key == "tone") in.tone = arg(0.1, 10);
    else Fail(line, "unknown instrument setting " + key);
    i += used;
  }
}

int FindByName(const auto& list, const std::string& name) {
  for (size_t i = 0; i < list.size(); i++)
    if (list[i].name == name) return int(i);
  return -1;
}

// One token per step: note or chord (C3+E3+G3), '.' rest, '-' hold, drum hits x X o.
// A trailing '!' accents a note, '?' softens it.
Track ParseTrack(const Line& line, const Song& song, int sixteenths) {
  int instrument = FindByName(song.instruments, line.words[0]);
  if (instrument < 0) Fail(line, "unknown instrument " + line.words[0]);
  size_t steps = line.words.size() - 1;
  if (steps == 0 || sixteenths % int(steps) != 0)
    Fail(line, std::to_string(steps) + " steps do not divide the pattern's " + std::to_string(sixteenths) + " sixteenths");
  int step_len = sixteenths / int(steps);
  bool drum = song.instruments[size_t(instrument)].drum != Drum::kNone;
  Track track{instrument, {}};
  bool holding = false;
  for (size_t s = 0; s < steps; s++) {
    std::string tok = line.words[s + 1];
    int at = int(s) * step_len;
    if (tok == ".") {
      holding = false;
    } else if (tok == "-") {
      if (!holding) Fail(line, "'-' holds nothing");
      track.notes.back().length += step_len;
    } else if (drum) {
      static const std::map<std::string, double> kHits = {{"x", 0.8}, {"X", 1.0}, {"o", 0.45}};
      auto hit = kHits.find(tok);
      if (hit == kHits.end()) Fail(line, "drum step must be x, X, o or '.', not " + tok);
      track.notes.push_back({at, step_len, {}, hit->second});
      holding = false;
    } else {
      Note note{at, step_len, {}, 0.8};
      if (tok.back() == '!') note.velocity = 1.0, tok.pop_back();
      else if (tok.back() == '?') note.velocity = 0.5, tok.pop_back();
      for (size_t start = 0; start <= tok.size();) {
        size_t plus = tok.find('+', start);
        std::string part = tok.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
        auto key = ParseNote(part);
        if (!key) Fail(line, "not a note: " + part);
        note.keys.push_back(*key);
        if (plus == std::string::npos) break;
        start = plus + 1;
      }
      track.notes.push_back(note);
      holding = true;
    }
  }
  return track;
}

Play ParsePlay(const Line& line, const Song& song, const Section& section) {
  const auto& w = line.words;
  if (w.size() < 2) Fail(line, "play needs a pattern");
  Play play;
  play.pattern = FindByName(song.patterns, w[1]);
  if (play.pattern < 0) Fail(line, "unknown pattern " + w[1]);
  for (size_t i = 2; i < w.size(); i += 2) {
    if (w[i] == "from") play.from = InRange(line, i + 1, 0, section.beats);
    else if (w[i] == "to") play.to = InRange(line, i + 1, 0, section.beats);
    else if (w[i] == "transpose") play.transpose = Whole(line, i + 1, -48, 48);
    else if (w[i] == "gain") Ramp(line, i + 1, play.gain0, play.gain1);
    else if (w[i] == "bright") Ramp(line, i + 1, play.bright0, play.bright1);
    else Fail(line, "unknown play setting " + w[i]);
  }
  if (play.to < 0) play.to = section.beats;
  if (play.to <= play.from) Fail(line, "play ends before it starts");
  return play;
}

void SongLine(const Line& line, Song& song) {
  const auto& w = line.words;
  for (size_t i = 1; i < w.size(); i += 2) {
    if (w[i] == "end") song.end = InRange(line, i + 1, 0.1, 3600);
    else if (w[i] == "fade") song.fade = InRange(line, i + 1, 0, 3600);
    else if (w[i] == "master") song.master = InRange(line, i + 1, 0, 4);
    else if (w[i] == "ceiling") song.ceiling = InRange(line, i + 1, 0.05, 1);
    else if (w[i] == "delay") {
      song.delay_left = InRange(line, i + 1, 0.01, 2);
      song.delay_right = InRange(line, i + 2, 0.01, 2);
      song.feedback = InRange(line, i + 3, 0, 0.95);
      i += 2;
    } else Fail(line, "unknown song setting " + w[i]);
  }
}

void CheckSections(const Song& song, const Line& last) {
  if (song.end <= 0) Fail(last, "the song has no end");
  if (song.sections.empty()) Fail(last, "the song has no sections");
  if (song.sections[0].at != 0) Fail(last, "the first section must start at 0");
  for (size_t i = 0; i < song.sections.size(); i++)
    if (song.SectionEnd(i) <= song.sections[i].at)
      throw SongError("section " + song.sections[i].name + " ends before it starts");
  if (song.fade >= song.end) Fail(last, "the fade starts after the end");
}

}  // namespace

Song ParseSong(std::string_view text) {
  Song song;
  std::vector<Line> lines = SplitLines(text);
  enum { kTop, kInstrument, kPattern, kSection } block = kTop;
  for (const Line& line : lines) {
    const std::string& head = line.words[0];
    if (block != kTop) {
      if (head == "end" && line.words.size() == 1) block = kTop;
      else if (block == kInstrument) InstrumentLine(line, song.instruments.back());
      else if (block == kPattern) song.patterns.back().tracks.push_back(ParseTrack(line, song, song.patterns.back().sixteenths));
      else if (head == "play") song.sections.back().plays.push_back(ParsePlay(line, song, song.sections.back()));
      else Fail(line, "a section holds only play lines");
      continue;
    }
    if (line.words.size() < 2 && head != "song") Fail(line, head + " needs a name");
    if (head == "song") SongLine(line, song);
    else if (head == "instrument") {
      if (FindByName(song.instruments, line.words[1]) >= 0) Fail(line, "instrument defined twice");
      song.instruments.push_back({});
      song.instruments.back().name = line.words[1];
      InstrumentLine({line.number, {line.words.begin() + 2, line.words.end()}}, song.instruments.back());
      block = kInstrument;
    } else if (head == "pattern") {
      if (line.words.size() != 4 || line.words[2] != "bars") Fail(line, "write: pattern NAME bars N");
      if (FindByName(song.patterns, line.words[1]) >= 0) Fail(line, "pattern defined twice");
      song.patterns.push_back({line.words[1], 16 * Whole(line, 3, 1, 64), {}});
      block = kPattern;
    } else if (head == "section") {
      if (line.words.size() != 6 || line.words[2] != "at" || line.words[4] != "beats")
        Fail(line, "write: section NAME at SECONDS beats N");
      double at = InRange(line, 3, 0, 3600);
      if (!song.sections.empty() && at <= song.sections.back().at) Fail(line, "sections must go forward in time");
      song.sections.push_back({line.words[1], at, Whole(line, 5, 1, 100000), {}});
      block = kSection;
    } else Fail(line, "unknown block " + head);
  }
  Line last{lines.empty() ? 0 : lines.back().number, {}};
  if (block != kTop) Fail(last, "missing 'end'");
  CheckSections(song, last);
  return song;
}

Song LoadSong(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw SongError("cannot read " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return ParseSong(text.str());
}

}  // namespace gw_synth
