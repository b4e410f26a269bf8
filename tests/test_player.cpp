// The player, headless, with its keys queued the way Escape is: every seek lands on the frame a
// straight replay shows at that moment and goes on from there; the parts' starts, the restart,
// the pause, the song through the mixer, and a run without keys that shows the plain run's frames.
#include <SDL_mixer.h>
#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/demo.h"
#include "platform/platform.h"
#include "platform/sound.h"
#include "show/headless.h"
#include "show/player.h"
#include "show/script.h"

// The position the song was last handed to the mixer, recorded on its way in (the link puts
// these in front of SDL_mixer's own), and a mixer that refuses the next position or start.
double position_given = -1;
bool refuse_position = false;
bool refuse_play = false;
extern "C" int __real_Mix_SetMusicPosition(double position);
extern "C" int __wrap_Mix_SetMusicPosition(double position) {
  position_given = position;
  return refuse_position ? -1 : __real_Mix_SetMusicPosition(position);
}
extern "C" int __real_Mix_PlayMusic(Mix_Music* music, int loops);
extern "C" int __wrap_Mix_PlayMusic(Mix_Music* music, int loops) {
  return refuse_play ? -1 : __real_Mix_PlayMusic(music, loops);
}

namespace {

// FNV-1a over 64-bit words: the frame as four pixels at a time.
uint64_t Digest(const uint16_t* frame) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (int i = 0; i < kPixels; i += 4) {
    uint64_t w;
    std::memcpy(&w, frame + i, sizeof w);
    h = (h ^ w) * 0x100000001b3ull;
  }
  return h;
}

// One frame of the plain run (frame 0 is the start, before any frame routine).
struct Frame {
  uint32_t presented, ended;  // show time
  int part;
  uint64_t digest;
};

struct PlainRun {
  std::vector<uint64_t> loading;  // the loading screen's frames
  std::vector<Frame> frames;
  uint64_t all = 0xcbf29ce484222325ull;  // every frame, loading screen included

  // The frame a replay shows at show time t (the first part's first frame before the start).
  size_t At(int64_t t) const {
    if (t < 0) return 1;
    size_t n = 0;
    while (n + 1 < frames.size() && frames[n + 1].presented <= t) ++n;
    return n;
  }
  // The end of the frame routine that follows one ending at show time t.
  int64_t EndOfNext(int64_t t) const {
    for (size_t n = 0; n + 1 < frames.size(); ++n)
      if (frames[n].ended == t) return frames[n + 1].ended;
    return -1;
  }
  size_t FirstOfPart(int p) const {
    for (size_t n = 1; n < frames.size(); ++n)
      if (frames[n].part == p) return n;
    return 0;
  }
};

struct Presents {
  PlainRun* run;
  uint32_t last = 0;
};

void Remember(const uint16_t* frame, uint32_t ticks, void* user) {
  auto* p = static_cast<Presents*>(user);
  uint64_t d = Digest(frame);
  p->run->all = (p->run->all ^ d) * 0x100000001b3ull;
  p->last = ticks;
  if (p->run->frames.empty()) p->run->loading.push_back(d);
}

PlainRun RunPlain() {
  PlainRun run;
  Presents presents{&run};
  SetFrameHook(Remember, &presents);
  EXPECT_STREQ(StartHeadlessDemo(), nullptr);
  uint32_t start = partime;
  run.frames.push_back({0, 0, part, Digest(vram)});
  do {
    int p = part;
    Script();
    run.frames.push_back({presents.last - start, VirtualTicks() - start, p, Digest(vram)});
  } while (!quit);
  SetFrameHook(nullptr, nullptr);
  return run;
}

// What the player presents, with a test's reaction to each frame.
struct Watch {
  std::vector<uint64_t> shown;
  std::vector<uint32_t> at;  // virtual clock of each
  std::function<void(size_t)> on_frame;
  std::function<void()> on_wait;
  uint64_t all = 0xcbf29ce484222325ull;
};

void Watcher(const uint16_t* frame, uint32_t ticks, void* user) {
  auto* w = static_cast<Watch*>(user);
  uint64_t d = Digest(frame);
  w->all = (w->all ^ d) * 0x100000001b3ull;
  w->shown.push_back(d);
  w->at.push_back(ticks);
  if (w->on_frame) w->on_frame(w->shown.size() - 1);
}

void WaitWatcher(void* user) {
  auto* w = static_cast<Watch*>(user);
  if (w->on_wait) w->on_wait();
}

// Start-up and the player's main loop, as the program runs it, until the show ends.
size_t Play(Watch& w) {
  SetFrameHook(Watcher, &w);
  SetWaitHook(WaitWatcher, &w);
  EXPECT_STREQ(StartHeadlessDemo(), nullptr);
  size_t loading = w.shown.size();
  StartPlayer();
  do {
    Script();
    AnswerRequests();
  } while (!quit);
  SetFrameHook(nullptr, nullptr);
  SetWaitHook(nullptr, nullptr);
  return loading;
}

class Player : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { plain = new PlainRun(RunPlain()); }
  static void TearDownTestSuite() { delete plain; }
  static PlainRun* plain;
  static const Frame& F(size_t n) { return plain->frames[n]; }
  static size_t Loading() { return plain->loading.size(); }

  // Keys queued one set per frame presented after the loading screen: the set for present i
  // is seen by the poll of the same frame routine (or of the next, when the player presented).
  static size_t PlayWithKeys(Watch& w, const std::vector<uint32_t>& keys) {
    w.on_frame = [&keys, loading = Loading()](size_t i) {
      if (i >= loading && i - loading < keys.size()) QueueHeadlessRequest(keys[i - loading]);
    };
    return Play(w);
  }
};
PlainRun* Player::plain = nullptr;

TEST_F(Player, WithoutKeysShowsThePlainRunsFramesAndBuildsItsCopies) {
  Watch w;
  Play(w);
  EXPECT_EQ(w.all, plain->all);  // the pinned digest of test_demo covers the plain run
  EXPECT_EQ(w.shown.size(), plain->loading.size() + plain->frames.size() - 1);
  EXPECT_GE(SnapshotCount(), 24u) << "the spare time of the pacing waits built the copies";
  EXPECT_EQ(ShowEnd(), F(plain->frames.size() - 1).ended);
}

// Home before the spare time has built every copy: the builder goes on after the new loading
// screen, so the copies complete and the timeline (the bar's length) becomes known.
TEST_F(Player, HomeBeforeTheCopiesAreBuiltLetsTheBuilderGoOn) {
  Watch w;
  bool whole_at_home = true;
  const size_t quit_at = 2 * Loading() + 200;
  w.on_frame = [&](size_t i) {
    if (i == Loading()) {
      whole_at_home = TimelineWhole();
      QueueHeadlessRequest(kRequestRestart);
    }
    if (i == quit_at) QueueHeadlessRequest(kRequestQuit);
  };
  Play(w);
  ASSERT_FALSE(whole_at_home) << "the copies were built before Home came";
  EXPECT_TRUE(TimelineWhole()) << "200 frames after the restart, the builder had stopped";
  EXPECT_GE(SnapshotCount(), 24u);
}

// Seeks in an order that comes from later and earlier moments alike, so that each replay
// starts from whatever the previous one left in the working arrays and caches.
TEST_F(Player, SeeksLandOnTheReplaysFrameAndGoOnFromIt) {
  const int64_t end = F(plain->frames.size() - 1).ended;
  std::vector<int64_t> moments = {-5000, 0, 64, 65, 66, end - 1, end, 1000000};
  for (int64_t t = 3000; t < 240000; t += 7919) moments.push_back(t);
  for (int p : {2, 0, 1, 4, 3, 7}) {  // around every hand-over
    size_t n = plain->FirstOfPart(p);
    for (int d : {-1, 0, 1}) moments.push_back(F(n + d).presented);
  }
  std::vector<int64_t> order;
  for (size_t i = 0; i < moments.size(); ++i) order.push_back(moments[(i * 37) % moments.size()]);

  Watch w;
  SetFrameHook(Watcher, &w);
  EXPECT_STREQ(StartHeadlessDemo(), nullptr);
  StartPlayer();
  for (int64_t t : order) {
    quit = 0;
    size_t n = plain->At(t);
    SeekShow(t);
    ASSERT_EQ(w.shown.back(), F(n).digest) << "seek to " << t;
    EXPECT_EQ(ShowTime(), F(n).ended) << t << ": the seek waits out the frame's pacing";
    // A few frames more, on the clock the show runs by.
    for (size_t k = 1; k <= 4 && !quit; ++k) {
      Script();
      AnswerRequests();
      ASSERT_EQ(w.shown.back(), F(n + k).digest) << "frame " << k << " after a seek to " << t;
      EXPECT_EQ(w.at.back() - w.at[w.shown.size() - 2], F(n + k).presented - F(n + k - 1).presented);
    }
    if (n == plain->frames.size() - 1) {
      EXPECT_EQ(quit, 1) << "the last frame ends the show";
    }
  }
  EXPECT_TRUE(ShowEndsBy(end));
  EXPECT_FALSE(ShowEndsBy(end - 1)) << "its last frame is still to come";
  // After all those seeks, from early on to the end: any state the copies missed would show.
  quit = 0;
  size_t n = plain->At(5000);
  SeekShow(5000);
  size_t first = w.shown.size() - 1;
  do {
    Script();
    AnswerRequests();
  } while (!quit);
  ASSERT_EQ(w.shown.size() - first, plain->frames.size() - n);
  for (size_t k = 0; n + k < plain->frames.size(); ++k)
    ASSERT_EQ(w.shown[first + k], F(n + k).digest) << "frame " << n + k;
  SetFrameHook(nullptr, nullptr);
}

TEST_F(Player, RightAndLeftMoveTenSecondsFromTheClock) {
  struct Press {
    uint32_t after;  // show time at the end of the frame during which the key is pressed
    uint32_t key;
  };
  const Press presses[] = {{40000, kRequestForward}, {130000, kRequestForward},
                           {150000, kRequestBack}, {231000, kRequestForward}};
  Watch w;
  std::vector<size_t> pressed;  // index of the frame during whose routine the key came
  std::vector<int64_t> now;     // show time when the player answered
  size_t next = 0;
  // The key is queued before a frame routine and answered after it, at that routine's end.
  SetFrameHook(Watcher, &w);
  EXPECT_STREQ(StartHeadlessDemo(), nullptr);
  StartPlayer();
  do {
    if (next < std::size(presses) && ShowTime() >= presses[next].after) {
      QueueHeadlessRequest(presses[next].key);
      now.push_back(plain->EndOfNext(ShowTime()));
      pressed.push_back(w.shown.size());
      ++next;
    }
    Script();
    AnswerRequests();
  } while (!quit);
  SetFrameHook(nullptr, nullptr);
  ASSERT_EQ(pressed.size(), std::size(presses));
  for (size_t i = 0; i < pressed.size(); ++i) {
    // The frame routine during which the key was pressed ran on; then the seek.
    int64_t step = presses[i].key == kRequestForward ? 10000 : -10000;
    size_t expect = plain->At(now[i] + step);
    ASSERT_GT(w.shown.size(), pressed[i] + 1);
    EXPECT_EQ(w.shown[pressed[i] + 1], F(expect).digest) << "press " << i;
  }
}

TEST_F(Player, PageDownVisitsEachPartsFirstFrameThenTheEnd) {
  Watch w;
  size_t l = PlayWithKeys(w, std::vector<uint32_t>(20, kRequestNextPart));
  std::vector<uint64_t> expect = {F(1).digest};
  for (int p : {2, 0, 1, 4, 3, 7}) {
    size_t n = plain->FirstOfPart(p);
    expect.push_back(F(n).digest);
    expect.push_back(F(n + 1).digest);
  }
  expect.push_back(F(plain->frames.size() - 1).digest);  // past the last part: its last frame
  EXPECT_EQ(std::vector<uint64_t>(w.shown.begin() + l, w.shown.end()), expect);
}

// Page Up goes to the previous part's first frame; in the first part, to that part's first
// frame and never before it. The first part's opening frames are all dark alike, so the show
// time tells them apart.
TEST_F(Player, PageUpGoesToThePreviousPartsFirstFrame) {
  const uint32_t down = kRequestNextPart, up = kRequestPreviousPart;
  const std::vector<uint32_t> keys = {down, 0, down, 0, down, 0, up, 0, up, 0, up, 0, up, 0,
                                      kRequestQuit};
  Watch w;
  std::vector<int64_t> shown_at;
  w.on_frame = [&](size_t i) {
    if (i < Loading()) return;
    shown_at.push_back(ShowTime());
    if (i - Loading() < keys.size()) QueueHeadlessRequest(keys[i - Loading()]);
  };
  size_t l = Play(w);
  size_t s2 = plain->FirstOfPart(2), s0 = plain->FirstOfPart(0), s1 = plain->FirstOfPart(1);
  std::vector<size_t> frames = {1, s2, s2 + 1, s0, s0 + 1, s1, s1 + 1, s0, s0 + 1, s2, s2 + 1,
                                1, 2, 1, 2};
  ASSERT_EQ(w.shown.size() - l, frames.size());
  ASSERT_EQ(shown_at.size(), frames.size());
  for (size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(w.shown[l + i], F(frames[i]).digest) << "present " << i;
    EXPECT_EQ(shown_at[i], F(frames[i]).presented) << "present " << i;
  }
}

// Home while paused, some time into the pause: the pause is over, the loading screen and the
// show from its start follow, and the show time is a fresh start's.
TEST_F(Player, HomeWhilePausedShowsTheLoadingScreenAgainThenTheShowFromItsStart) {
  Watch w;
  std::vector<uint32_t> keys = {kRequestForward, 0, 0, kRequestPause};
  keys.resize(keys.size() + Loading() + 40, 0);
  keys.back() = kRequestQuit;
  const size_t first_after = Loading() + 4 + Loading();  // the restart's first frame
  std::vector<int64_t> show_time;
  bool paused_after = false;
  w.on_frame = [&](size_t i) {
    if (i >= Loading() && i - Loading() < keys.size()) QueueHeadlessRequest(keys[i - Loading()]);
    if (i >= first_after) {
      show_time.push_back(ShowTime());
      paused_after = paused_after || ShowPaused();
    }
  };
  int waits = 0;
  w.on_wait = [&] {
    SetVirtualTicks(VirtualTicks() + 5000);
    QueueHeadlessRequest(++waits == 1 ? kRequestRestart : kRequestQuit);
  };
  size_t l = Play(w);
  EXPECT_EQ(waits, 1) << "no wait after the restart";
  std::vector<uint64_t> after(w.shown.begin() + l + 4, w.shown.end());
  std::vector<uint64_t> fresh = plain->loading;
  for (size_t n = 1; fresh.size() < after.size(); ++n) fresh.push_back(F(n).digest);
  EXPECT_EQ(after.size(), Loading() + 40);
  EXPECT_TRUE(after == fresh) << "the loading screen and the show from its start";
  EXPECT_FALSE(paused_after);
  ASSERT_EQ(show_time.size(), 40u);
  for (size_t k = 0; k < show_time.size(); ++k)
    EXPECT_EQ(show_time[k], F(k + 1).presented) << "frame " << k + 1 << " after the restart";
  // The copies built since (none while the loading screen rebuilt the tables and objects) give
  // the replay's frames everywhere.
  SetFrameHook(Watcher, &w);
  for (int64_t t : {40000, 80000, 110000, 140000, 170000, 200000, 230000}) {
    quit = 0;
    SeekShow(t);
    EXPECT_EQ(w.shown.back(), F(plain->At(t)).digest) << "seek to " << t;
  }
  SetFrameHook(nullptr, nullptr);
}

// Keys that come in one drain with Home or Escape go unanswered: Home starts from the loading
// screen and the show from its start; Escape ends the show after the frame on screen.
TEST_F(Player, KeysThatComeWithHomeOrEscapeAreNotAnswered) {
  const uint32_t others = kRequestForward | kRequestNextPart | kRequestBack;
  std::vector<uint32_t> keys = {0, kRequestRestart | others};
  keys.resize(2 + Loading() + 20, 0);
  keys.back() = kRequestQuit | kRequestRestart | others;
  Watch w;
  size_t l = PlayWithKeys(w, keys);
  std::vector<uint64_t> fresh = {F(1).digest, F(2).digest};
  fresh.insert(fresh.end(), plain->loading.begin(), plain->loading.end());
  for (size_t n = 1; n <= 20; ++n) fresh.push_back(F(n).digest);
  EXPECT_TRUE(std::vector<uint64_t>(w.shown.begin() + l, w.shown.end()) == fresh)
      << w.shown.size() - l << " frames after the loading screen, " << fresh.size() << " expected";
}

TEST_F(Player, PauseHoldsTheClockAndTheFramesAndWaitsForEvents) {
  Watch w;
  int waits = 0;
  int64_t paused_at = -1;
  bool stayed = true;
  w.on_wait = [&] {
    ++waits;
    if (paused_at < 0) paused_at = ShowTime();
    stayed = stayed && ShowPaused() && ShowTime() == paused_at;
    SetVirtualTicks(VirtualTicks() + 5000);  // time passes while the show waits
    if (waits == 3) QueueHeadlessRequest(kRequestPause);
  };
  std::vector<uint32_t> keys(300, 0);
  keys[200] = kRequestPause;
  keys.back() = kRequestQuit;
  size_t l = PlayWithKeys(w, keys);
  EXPECT_EQ(waits, 3) << "one wait per event, no spinning";
  EXPECT_TRUE(stayed) << "the show time stood still";
  EXPECT_EQ(paused_at, F(201).ended);
  ASSERT_EQ(w.shown.size(), l + 300);
  for (size_t i = 0; i < 300; ++i) EXPECT_EQ(w.shown[l + i], F(i + 1).digest) << "frame " << i + 1;
  EXPECT_EQ(w.at[l + 201] - w.at[l + 200], F(202).presented - F(201).presented + 15000)
      << "the frame after the pause came as late as the pause lasted";
}

// Seeks while paused, with time passing before each key: each shows its frame and the show
// stays paused; after Space the show goes on from the last of them, its next frame one frame's
// interval after the key, however long the pause and wherever it began.
TEST_F(Player, SeeksWhilePausedShowTheirFrameAndTheShowGoesOnAfterSpace) {
  Watch w;
  int waits = 0;
  size_t shown_in_pause = 0;
  uint32_t resumed_at = 0;
  w.on_wait = [&] {
    SetVirtualTicks(VirtualTicks() + 5000);
    ++waits;
    if (waits == 1) QueueHeadlessRequest(kRequestBack);
    if (waits == 2) QueueHeadlessRequest(kRequestNextPart);
    if (waits == 3) {
      shown_in_pause = w.shown.size();
      resumed_at = VirtualTicks();
      QueueHeadlessRequest(kRequestPause);
    }
  };
  std::vector<uint32_t> keys(520, 0);
  keys[500] = kRequestPause;
  keys.back() = kRequestQuit;
  size_t l = PlayWithKeys(w, keys);
  size_t n = plain->At(F(501).ended - 10000);
  size_t next = plain->FirstOfPart(2);  // the part after the one n is in
  ASSERT_EQ(F(n).part, 6);
  ASSERT_EQ(shown_in_pause, l + 503);
  EXPECT_EQ(w.shown[l + 501], F(n).digest) << "the frame of the seek, shown while paused";
  EXPECT_EQ(w.shown[l + 502], F(next).digest) << "the next part's first frame, shown while paused";
  EXPECT_EQ(w.shown[l + 503], F(next + 1).digest) << "then the show goes on from it";
  EXPECT_EQ(w.at[l + 503] - resumed_at, F(next + 1).presented - F(next).presented);
}

TEST_F(Player, FTogglesFullScreenWithoutTouchingTheShow) {
  Watch w;
  bool on_between = false;
  std::vector<uint32_t> keys(40, 0);
  keys[10] = keys[30] = kRequestToggleFullscreen;
  keys.back() = kRequestQuit;
  w.on_frame = [&](size_t i) {
    size_t k = i - Loading();
    if (i >= Loading() && k < keys.size()) QueueHeadlessRequest(keys[k]);
    if (i == Loading() + 20) on_between = HeadlessFullscreen() && fullscreen == 0x80000000u;
  };
  Play(w);
  EXPECT_TRUE(on_between);
  EXPECT_FALSE(HeadlessFullscreen());
  size_t l = Loading();
  ASSERT_EQ(w.shown.size(), l + 40);
  for (size_t i = 0; i < 40; ++i) EXPECT_EQ(w.shown[l + i], F(i + 1).digest) << i;
}

// The page's bar: a seek to a show time, queued as the keys are, while playing and while paused;
// then the timeline the bar draws: the parts' starts as the plain run has them.
TEST_F(Player, TheBarsSeekLandsOnTheReplaysFrameAndTheTimelineHasEachPartsStart) {
  Watch w;
  size_t loading = Loading();
  w.on_frame = [&](size_t i) {
    if (i == loading + 100) QueueHeadlessSeek(120000);
    if (i == loading + 200) QueueHeadlessRequest(kRequestPause);
  };
  int waits = 0;
  w.on_wait = [&] {
    if (++waits == 1) QueueHeadlessSeek(30000);
    if (waits == 2) QueueHeadlessRequest(kRequestPause | kRequestQuit);
  };
  size_t l = Play(w);
  size_t at120 = plain->At(120000), at30 = plain->At(30000);
  ASSERT_EQ(w.shown.size(), l + 202);
  EXPECT_EQ(w.shown[l + 101], F(at120).digest) << "the bar's seek, on the next present";
  EXPECT_EQ(w.shown[l + 102], F(at120 + 1).digest);
  EXPECT_EQ(w.shown[l + 201], F(at30).digest) << "while paused";
  EXPECT_TRUE(TimelineWhole());
  std::vector<uint32_t> starts = {F(1).presented};
  for (int p : {2, 0, 1, 4, 3, 7}) starts.push_back(F(plain->FirstOfPart(p)).presented);
  EXPECT_EQ(PartStarts(), starts);
}

// The song through the mixer itself: where a seek put it, paused or playing, halted. SDL_mixer
// cannot say where a song is, so the position it is handed is recorded on the way in.
TEST_F(Player, SongFollowsSeeksPausesAndRestarts) {
  Watch w;
  SetFrameHook(Watcher, &w);
  SetWaitHook(WaitWatcher, &w);
  EXPECT_STREQ(StartHeadlessDemo(), nullptr);
  SoundInit();
  ASSERT_TRUE(SongLoaded()) << "demosong.ogg in the build folder, an audio device (dummy)";
  refuse_play = true;
  PlaySong();
  refuse_play = false;
  EXPECT_EQ(SongPosition(), -1) << "a song the mixer would not start is silent";
  PlaySong();
  StartPlayer();
  for (int64_t t : {100000, 20500, 236000, 5, 50000}) {
    if (t == 50000) Mix_HaltMusic();  // as when the song has played to its end
    SeekShow(t);
    EXPECT_EQ(SongPosition(), ShowTime()) << t;
    EXPECT_TRUE(Mix_PlayingMusic()) << t;
    EXPECT_EQ(position_given, F(plain->At(t)).presented / 1000.0)
        << "the mixer is put where the frame shown was presented, " << t;
    for (int k = 0; k < 5; ++k) Script();
    EXPECT_LE(std::abs(SongPosition() - ShowTime()), 20) << "within a frame, " << t;
  }
  // A position the mixer refuses silences the song rather than leave it at the wrong place;
  // the next seek starts it again.
  refuse_position = true;
  SeekShow(60000);
  refuse_position = false;
  EXPECT_EQ(SongPosition(), -1);
  EXPECT_FALSE(Mix_PlayingMusic());
  SeekShow(70000);
  EXPECT_EQ(SongPosition(), ShowTime());
  EXPECT_TRUE(Mix_PlayingMusic());
  // Paused: the mixer holds the song where the show stands, while time passes; a song that had
  // played to its end, started again by a seek during the pause, waits paused as well.
  int waits = 0;
  int64_t during = -2, after_seek = -2;
  int paused_in_mixer = -1, paused_after_seek = -1, playing_after_seek = -1;
  w.on_wait = [&] {
    SetVirtualTicks(VirtualTicks() + 3000);
    if (++waits == 1) {
      during = SongPosition() - ShowTime();
      paused_in_mixer = Mix_PausedMusic();
      Mix_HaltMusic();
      QueueHeadlessRequest(kRequestBack);
    } else {
      after_seek = SongPosition() - ShowTime();
      paused_after_seek = Mix_PausedMusic();
      playing_after_seek = Mix_PlayingMusic();
      QueueHeadlessRequest(kRequestPause);
    }
  };
  QueueHeadlessRequest(kRequestPause);
  Script();
  AnswerRequests();
  EXPECT_EQ(waits, 2);
  EXPECT_EQ(during, 0);
  EXPECT_EQ(paused_in_mixer, 1);
  EXPECT_EQ(after_seek, 0);
  EXPECT_EQ(paused_after_seek, 1);
  EXPECT_EQ(playing_after_seek, 1);
  EXPECT_EQ(SongPosition(), ShowTime());
  EXPECT_EQ(Mix_PausedMusic(), 0) << "resumed";
  EXPECT_TRUE(Mix_PlayingMusic());
  // A restart is silent until the part clock starts again.
  std::vector<int64_t> loading;
  std::vector<int> mixer_playing;
  w.on_frame = [&](size_t) {
    loading.push_back(SongPosition());
    mixer_playing.push_back(Mix_PlayingMusic());
  };
  QueueHeadlessRequest(kRequestRestart);
  Script();
  AnswerRequests();
  ASSERT_GT(loading.size(), 300u);
  EXPECT_EQ(*std::max_element(loading.begin() + 1, loading.end()), -1);
  EXPECT_EQ(*std::max_element(mixer_playing.begin() + 1, mixer_playing.end()), 0);
  EXPECT_EQ(SongPosition(), 0);
  EXPECT_TRUE(Mix_PlayingMusic());
  SetFrameHook(nullptr, nullptr);
  SetWaitHook(nullptr, nullptr);
  SoundEnd();
  EXPECT_EQ(Mix_QuerySpec(nullptr, nullptr, nullptr), 0) << "the audio device is closed";
}

// A clock that runs only while this thread works, as on a machine with nothing else to do:
// a pacing wait reaches its moment at once, and records how late it was entered.
struct WorkClock {
  static inline uint32_t base = 0;
  static inline int64_t cpu_from = 0;
  static inline int32_t latest = INT32_MIN;  // how late the latest wait came, at worst
  static int64_t CpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * int64_t{1000} + ts.tv_nsec / 1000000;
  }
  static uint32_t Ticks() { return base + static_cast<uint32_t>(CpuMs() - cpu_from); }
  static void Idle(uint32_t until) {
    int32_t late = static_cast<int32_t>(Ticks() - until);
    latest = std::max(latest, late);
    if (late < 0) base += static_cast<uint32_t>(-late);
  }
  static void Use() {
    base = platform.ticks();
    cpu_from = CpuMs();
    latest = INT32_MIN;
    platform.ticks = Ticks;
    platform.idle = Idle;
  }
};

// The copies are built in slices of the pacing waits' spare time. On a clock that moves while a
// slice replays, the slice stops short of its wait's moment: one replayed frame may overrun the
// margin it leaves, and no more.
TEST_F(Player, SpareTimeSlicesEndBeforeTheirWaitsMoment) {
  EXPECT_STREQ(StartHeadlessDemo(), nullptr);
  WorkClock::Use();
  StartPlayer();
  for (int f = 0; f < 8; ++f) {
    Script();
    AnswerRequests();
  }
  EXPECT_LE(WorkClock::latest, 20) << "ms past the moment a pacing wait ended";
  EXPECT_GE(SnapshotCount(), 2u) << "the slices replayed";
  UseHeadlessPlatform();
}

// A restart that finds no font file (it was there at the first start) ends the show and keeps
// the fault for the program's way out.
TEST_F(Player, ARestartWithoutTheFontFileEndsTheShowWithItsFault) {
  EXPECT_STREQ(StartHeadlessDemo(), nullptr);
  StartPlayer();
  Script();
  char home[4096];
  ASSERT_NE(getcwd(home, sizeof home), nullptr);
  char away[] = "/tmp/gw-restart-XXXXXX";
  ASSERT_NE(mkdtemp(away), nullptr);
  ASSERT_EQ(chdir(away), 0);
  QueueHeadlessRequest(kRequestRestart);
  Script();
  AnswerRequests();
  EXPECT_EQ(chdir(home), 0);
  rmdir(away);
  EXPECT_EQ(quit, 1);
  ASSERT_NE(RestartFault(), nullptr);
  EXPECT_EQ(std::string(RestartFault()).rfind("fonts16.bin: cannot be opened", 0), 0u) << RestartFault();
}

}  // namespace
