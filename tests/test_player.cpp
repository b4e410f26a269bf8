// The player, headless, with its keys queued the way Escape is: every seek lands on the frame a
// straight replay shows at that moment and goes on from there; the parts' starts, the restart,
// the pause, the song's position, and a run without keys that shows the plain run's frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/demo.h"
#include "platform/platform.h"
#include "platform/sound.h"
#include "show/headless.h"
#include "show/player.h"
#include "show/script.h"

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
  StartHeadlessDemo();
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
  StartHeadlessDemo();
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

// Seeks in an order that comes from later and earlier moments alike, so that each replay
// starts from whatever the previous one left in the working arrays and caches.
TEST_F(Player, SeeksLandOnTheReplaysFrameAndGoOnFromIt) {
  std::vector<int64_t> moments = {-5000, 0, 64, 65, 66, 1000000};
  for (int64_t t = 3000; t < 240000; t += 7919) moments.push_back(t);
  for (int p : {2, 0, 1, 4, 3, 7}) {  // around every hand-over
    size_t n = plain->FirstOfPart(p);
    for (int d : {-1, 0, 1}) moments.push_back(F(n + d).presented);
  }
  std::vector<int64_t> order;
  for (size_t i = 0; i < moments.size(); ++i) order.push_back(moments[(i * 37) % moments.size()]);

  Watch w;
  SetFrameHook(Watcher, &w);
  StartHeadlessDemo();
  StartPlayer();
  for (int64_t t : order) {
    quit = 0;
    size_t n = plain->At(t);
    SeekShow(t);
    ASSERT_EQ(w.shown.back(), F(n).digest) << "seek to " << t;
    EXPECT_EQ(ShowTime(), F(n).ended) << t << ": the seek waits out the frame's pacing";
    // Two frames more, on the clock the show runs by.
    for (size_t k = 1; k <= 2 && !quit; ++k) {
      Script();
      AnswerRequests();
      ASSERT_EQ(w.shown.back(), F(n + k).digest) << "frame " << k << " after a seek to " << t;
      EXPECT_EQ(w.at.back() - w.at[w.shown.size() - 2], F(n + k).presented - F(n + k - 1).presented);
    }
    if (n == plain->frames.size() - 1) {
      EXPECT_EQ(quit, 1) << "the last frame ends the show";
    }
  }
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
  StartHeadlessDemo();
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

}  // namespace
