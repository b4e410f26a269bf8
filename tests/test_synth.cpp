// The song synthesizer: envelopes, pitch, song parsing and timing, the limiter, repeatability, and
// that the song in the build folder decodes to the length the demo expects.
#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "tools/synth/synth.h"

namespace {

using gw_synth::Adsr;
using gw_synth::Audio;
using gw_synth::kSampleRate;
using gw_synth::ParseNote;
using gw_synth::ParseSong;
using gw_synth::SongError;

TEST(Envelope, ReachesEachStageLevelAtItsTime) {
  Adsr env{0.1, 0.2, 0.5, 0.3};
  const double gate = 1.0;
  EXPECT_DOUBLE_EQ(env.Level(0.0, gate), 0.0);
  EXPECT_DOUBLE_EQ(env.Level(0.05, gate), 0.5);
  EXPECT_DOUBLE_EQ(env.Level(0.1, gate), 1.0);
  EXPECT_DOUBLE_EQ(env.Level(0.2, gate), 0.75);
  EXPECT_DOUBLE_EQ(env.Level(0.3, gate), 0.5);
  EXPECT_DOUBLE_EQ(env.Level(0.9, gate), 0.5);
  EXPECT_DOUBLE_EQ(env.Level(1.15, gate), 0.25);
  EXPECT_DOUBLE_EQ(env.Level(1.3, gate), 0.0);
  EXPECT_DOUBLE_EQ(env.Level(-0.01, gate), 0.0);
  EXPECT_DOUBLE_EQ(env.Length(gate), 1.3);
}

TEST(Envelope, ReleaseStartsFromTheLevelTheNoteOffCaught) {
  Adsr env{0.1, 0.2, 0.5, 0.3};
  EXPECT_DOUBLE_EQ(env.Level(0.05, 0.05), 0.5);     // released during the attack
  EXPECT_DOUBLE_EQ(env.Level(0.2, 0.05), 0.25);
  EXPECT_DOUBLE_EQ(env.Level(0.2 + 0.15, 0.2), 0.375);  // released during the decay
}

TEST(Envelope, ZeroLengthStagesNeitherDivideByZeroNorJump) {
  Adsr instant{0, 0, 0.7, 0};
  EXPECT_DOUBLE_EQ(instant.Level(0.0, 1.0), 0.7);
  EXPECT_DOUBLE_EQ(instant.Level(0.5, 1.0), 0.7);
  EXPECT_DOUBLE_EQ(instant.Level(1.0, 1.0), 0.0);
  Adsr no_decay{0.1, 0, 0.4, 0.1};
  EXPECT_DOUBLE_EQ(no_decay.Level(0.1, 1.0), 0.4);
}

TEST(Pitch, NoteFrequenciesFollowConcertPitch) {
  EXPECT_DOUBLE_EQ(gw_synth::NoteFrequency(69), 440.0);
  EXPECT_DOUBLE_EQ(gw_synth::NoteFrequency(81), 880.0);
  EXPECT_DOUBLE_EQ(gw_synth::NoteFrequency(57), 220.0);
  EXPECT_NEAR(gw_synth::NoteFrequency(60), 261.6256, 1e-4);
  EXPECT_NEAR(gw_synth::NoteFrequency(70) / gw_synth::NoteFrequency(69), std::pow(2.0, 1.0 / 12), 1e-12);
}

TEST(Pitch, NoteNamesParse) {
  EXPECT_EQ(ParseNote("A4"), 69);
  EXPECT_EQ(ParseNote("a4"), 69);
  EXPECT_EQ(ParseNote("C4"), 60);
  EXPECT_EQ(ParseNote("C#4"), 61);
  EXPECT_EQ(ParseNote("Db4"), 61);
  EXPECT_EQ(ParseNote("B2"), 47);
  EXPECT_EQ(ParseNote("Bb2"), 46);
  EXPECT_EQ(ParseNote("Cb4"), 59);
  EXPECT_EQ(ParseNote("C-1"), 0);
  EXPECT_EQ(ParseNote("G9"), 127);
  for (const char* bad : {"", "A", "H4", "G#9", "A10", "A4x", "Bb", "#4", "C-2"})
    EXPECT_EQ(ParseNote(bad), std::nullopt) << bad;
}

// One sine note on A4 at 120 BPM: quiet, dry and easy to measure.
std::string TinySong(const std::string& row, const std::string& play_extra = "", const std::string& wave = "sine") {
  return "song end 2 master 1\n"
         "instrument tone wave " + wave + " adsr 0.001 0 1 0.001 gain 0.5\nend\n"
         "pattern p bars 1\n  tone " + row + "\nend\n"
         "section s at 0 beats 4\n  play p " + play_extra + "\nend\n";
}

size_t FirstSound(const Audio& a) {
  for (size_t i = 0; i < a.left.size(); i++)
    if (a.left[i] != 0.0f) return i;
  return a.left.size();
}

int UpwardCrossings(const std::vector<float>& x, size_t from, size_t to) {
  int n = 0;
  for (size_t i = from + 1; i < to; i++) n += x[i - 1] < 0 && x[i] >= 0;
  return n;
}

TEST(Timing, NotesStartOnTheirStepAndSoundAtTheirPitch) {
  // Step 4 of 16 at 120 BPM is half a second in; the note holds to the end of the bar.
  Audio a = gw_synth::Render(ParseSong(TinySong("A4 . . . | A4 - - - | - - - - | - - - -")));
  EXPECT_GT(FirstSound(a), 0u);
  EXPECT_LT(FirstSound(a), size_t(kSampleRate / 8));
  Audio late = gw_synth::Render(ParseSong(TinySong(". . . . | A4 - - - | - - - - | - - - -")));
  EXPECT_NEAR(double(FirstSound(late)), kSampleRate * 0.5, 2.0);
  EXPECT_NEAR(UpwardCrossings(late.left, kSampleRate * 3 / 4, kSampleRate * 7 / 4), 440, 2);
  Audio up = gw_synth::Render(ParseSong(TinySong(". . . . | A4 - - - | - - - - | - - - -", "transpose 12")));
  EXPECT_NEAR(UpwardCrossings(up.left, kSampleRate * 3 / 4, kSampleRate * 7 / 4), 880, 2);
}

TEST(Timing, SawAndPulseCarryNoDcOffset) {
  for (const char* wave : {"saw", "pulse width 0.2", "square", "triangle"}) {
    Audio a = gw_synth::Render(ParseSong(TinySong("A2 - - - | - - - - | - - - - | - - - -", "", wave)));
    double sum = 0;
    for (size_t i = kSampleRate / 2; i < size_t(kSampleRate * 3 / 2); i++) sum += a.left[i];
    EXPECT_LT(std::abs(sum / kSampleRate), 0.01) << wave;
  }
}

TEST(Limiter, NoSampleExceedsTheCeilingAndQuietPartsAreLeftAlone) {
  Audio a;
  for (int i = 0; i < kSampleRate * 2; i++) {
    float quiet = 0.2f * float(std::sin(i * 0.05));
    a.left.push_back(i >= kSampleRate / 2 && i < kSampleRate / 2 + 400 ? 3.0f * quiet * 10 : quiet);
    a.right.push_back(i == kSampleRate / 2 + 100 ? -5.0f : -quiet);
  }
  Audio before = a;
  gw_synth::Limit(a, 0.89);
  for (size_t i = 0; i < a.left.size(); i++) {
    ASSERT_LE(std::abs(a.left[i]), 0.89f) << i;
    ASSERT_LE(std::abs(a.right[i]), 0.89f) << i;
  }
  EXPECT_EQ(a.left[1000], before.left[1000]);  // long before the peak
  EXPECT_NEAR(a.left.back(), before.left.back(), 0.005f);  // recovered a second and a half later
  EXPECT_LT(std::abs(a.left[kSampleRate / 2 - 10]), std::abs(before.left[kSampleRate / 2 - 10]));  // ramped ahead
}

TEST(Limiter, ADeliberatelyOverloadedSongStaysUnderTheCeiling) {
  std::string text =
      "song end 1.5 master 4 ceiling 0.8\n"
      "instrument buzz wave saw detune 10 sub 2 gain 4\nend\ninstrument kick drum kick gain 4\nend\n"
      "pattern p bars 1\n  buzz A1+E2+A2+C3+E3 - - -\n  kick X X X X\nend\n"
      "section s at 0 beats 4\n  play p\nend\n";
  Audio a = gw_synth::Render(ParseSong(text));
  float peak = 0;
  for (size_t i = 0; i < a.left.size(); i++) peak = std::max({peak, std::abs(a.left[i]), std::abs(a.right[i])});
  EXPECT_LE(peak, 0.8f);
  EXPECT_GT(peak, 0.7f);
}

const char* kBusySong =
    "song end 3 delay 0.2 0.3 0.4\n"
    "instrument lead wave pulse width 0.3 detune 8 cutoff 900 resonance 0.7 envmod 3000 fdecay 0.1 send 0.4\nend\n"
    "instrument hiss wave noise cutoff 3000 adsr 0.01 0.1 0.3 0.1 pan -0.5\nend\n"
    "instrument snare drum snare\nend\ninstrument hat drum hat pan 0.4\nend\n"
    "pattern p bars 1\n  lead C4 E4 G4! C5+E5?\n  hiss A4 . A4 .\n  snare . X . x\n  hat x x x x x x x x\nend\n"
    "section a at 0 beats 4\n  play p bright 0.5:2\nend\n"
    "section b at 1.9 beats 4\n  play p transpose 3 gain 1:0.5\nend\n";

TEST(Repeatability, TwoRendersGiveTheSameSamples) {
  gw_synth::Song song = ParseSong(kBusySong);
  Audio first = gw_synth::Render(song), second = gw_synth::Render(song);
  EXPECT_EQ(gw_synth::HashSamples(first), gw_synth::HashSamples(second));
  EXPECT_NE(gw_synth::HashSamples(first), gw_synth::HashSamples(gw_synth::Render(ParseSong(TinySong("A4 . . .")))));
}

TEST(Repeatability, APartialRenderMatchesTheSameSpanOfTheWhole) {
  std::string dry = kBusySong;
  dry.replace(dry.find("send 0.4"), 8, "send 0");
  gw_synth::Song song = ParseSong(dry);
  song.ceiling = 1;  // the limiter looks at the whole span it is given
  Audio whole = gw_synth::Render(song), part = gw_synth::Render(song, 1.0, 0.5);
  ASSERT_EQ(part.left.size(), size_t(kSampleRate / 2));
  // The DC blocker starts fresh at the cut, so compare after it has settled.
  for (size_t i = 4000; i < part.left.size(); i++) ASSERT_NEAR(part.left[i], whole.left[kSampleRate + i], 2e-3) << i;
}

TEST(SongText, TheDemoSongFollowsThePictures) {
  gw_synth::Song song = gw_synth::LoadSong(GW_SOURCE_DIR "/data/song/demosong.song");
  const double hand_over[] = {0, 63.5, 88.1, 122.9, 151.6, 172.1, 200.8, 221.5};
  ASSERT_EQ(song.sections.size(), std::size(hand_over));
  for (size_t i = 0; i < song.sections.size(); i++) {
    EXPECT_DOUBLE_EQ(song.sections[i].at, hand_over[i]) << song.sections[i].name;
    double bpm = 60.0 / song.SecondsPerBeat(i);
    EXPECT_GT(bpm, 115) << song.sections[i].name;
    EXPECT_LT(bpm, 135) << song.sections[i].name;
    EXPECT_EQ(song.sections[i].beats % 2, 0) << "sections end on a half bar at least";
  }
  EXPECT_GE(song.end, 238.0);
  EXPECT_LE(song.end, 240.0);
  EXPECT_GE(song.fade, 229.0);
}

TEST(SongText, MistakesAreReportedWithTheirLine) {
  const std::string head = "song end 2\ninstrument t wave sine\nend\n";
  const std::string tail = "section s at 0 beats 4\n  play p\nend\n";
  const std::pair<std::string, std::string> cases[] = {
      {"pattern p bars 1\n  nobody x\nend\n", "line 5: unknown instrument"},
      {"pattern p bars 1\n  t Q4 . .\nend\n", "line 5: 3 steps"},
      {"pattern p bars 1\n  t H4\nend\n", "line 5: not a note"},
      {"pattern p bars 1\n  t - A4\nend\n", "line 5: '-' holds nothing"},
      {"instrument t wave sine\nend\n", "line 4: instrument defined twice"},
      {"instrument u wave sine gain 99\nend\n", "line 4: 99 is outside"},
      {"instrument u wave sine cutoff 1e400\nend\n", "line 4: not a number"},
      {"pattern p bars 1\n  t A4\nend\nsection s at 0 beats 4\n  play p from 3 to 2\nend\n", "play ends before"},
      {"pattern p bars 1.5\n  t A4\nend\n", "line 4: 1.5 is not a whole number"},
      {"pattern p bars 1\n  t\nend\n", "line 5: 0 steps"},
      {"pattern p bars 1\n  t A4\nend\nsection s at 0 beats 4\n  play p from 2 to 2\nend\n",
       "line 8: play ends before it starts"},
      {"song fade 3\npattern p bars 1\n  t A4\nend\n", "line 10: the fade starts after the end"},
  };
  for (const auto& [body, message] : cases) {
    try {
      ParseSong(head + body + (body.find("section") == std::string::npos ? tail : ""));
      ADD_FAILURE() << "accepted: " << body;
    } catch (const SongError& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(ParseSong("song end 2\nsection a at 0 beats 4\nend\nsection b at 0 beats 4\nend\n"), SongError);
  EXPECT_THROW(ParseSong("song end 2\nsection a at 1 beats 4\nend\n"), SongError);
  EXPECT_THROW(ParseSong("song end 2\nsection a at 0 beats 4\nend\nsection b at 3 beats 4\nend\n"), SongError);
  EXPECT_THROW(gw_synth::LoadSong("/nonexistent/song"), SongError);
  try {
    ParseSong(head + "pattern p bars 1\n  t A4 . . .\n");
    ADD_FAILURE() << "accepted a pattern without end";
  } catch (const SongError& e) {
    EXPECT_NE(std::string(e.what()).find("missing 'end'"), std::string::npos) << e.what();
  }
}

TEST(SongText, SharpsSurviveCommentsAndRowsContinue) {
  gw_synth::Song song = ParseSong(
      "# a comment\nsong end 2 # trailing\ninstrument t wave sine\nend\n"
      "pattern p bars 1\n  t G#4 . \\\n    Bb3+D4 -\nend\nsection s at 0 beats 4\n  play p\nend\n");
  const auto& notes = song.patterns[0].tracks.at(0).notes;
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[0].keys, std::vector<int>{68});
  EXPECT_EQ(notes[1].keys, (std::vector<int>{58, 62}));
  EXPECT_EQ(notes[1].step, 8);
  EXPECT_EQ(notes[1].length, 8);
}

long DecodedFrames(const std::string& path, int* channels, long* rate) {
  OggVorbis_File vf;
  if (ov_fopen(path.c_str(), &vf) != 0) return -1;
  vorbis_info* info = ov_info(&vf, -1);
  *channels = info->channels;
  *rate = info->rate;
  long frames = long(ov_pcm_total(&vf, -1));
  ov_clear(&vf);
  return frames;
}

TEST(Files, WrittenOggAndWavHoldEveryFrame) {
  Audio a = gw_synth::Render(ParseSong(kBusySong), 0, 1.25);
  std::string ogg = testing::TempDir() + "synth_test.ogg", wav = testing::TempDir() + "synth_test.wav";
  ASSERT_TRUE(gw_synth::WriteOgg(ogg, a, 0.3f));
  int channels = 0;
  long rate = 0;
  EXPECT_EQ(DecodedFrames(ogg, &channels, &rate), long(a.left.size()));
  EXPECT_EQ(channels, 2);
  EXPECT_EQ(rate, kSampleRate);
  ASSERT_TRUE(gw_synth::WriteWav(wav, a));
  FILE* f = std::fopen(wav.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::fseek(f, 0, SEEK_END);
  EXPECT_EQ(std::ftell(f), 44 + long(a.left.size()) * 4);
  std::fclose(f);
  std::remove(ogg.c_str());
  std::remove(wav.c_str());
  EXPECT_FALSE(gw_synth::WriteOgg("/nonexistent/dir/x.ogg", a, 0.3f));
}

TEST(Files, TheBuiltSongDecodesToItsFullLength) {
  int channels = 0;
  long rate = 0;
  long frames = DecodedFrames("demosong.ogg", &channels, &rate);
  ASSERT_GT(frames, 0) << "demosong.ogg missing from the build folder";
  EXPECT_EQ(channels, 2);
  EXPECT_EQ(rate, kSampleRate);
  EXPECT_GE(double(frames) / rate, 238.0);
  EXPECT_LE(double(frames) / rate, 240.0);
}

}  // namespace
