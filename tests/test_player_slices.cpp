// The builder of the player's state copies on a slow machine: a slice of a pacing wait's spare
// time replays another frame only while the dearest frame and hand-back it has seen still fit
// before the wait ends, so the show's next frame is not held up; it lets others run every few
// ms; and a cost once seen fades, so that a moment when the machine was busy elsewhere does not
// keep the builder out for good.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/demo.h"
#include "platform/platform.h"
#include "show/headless.h"
#include "show/player.h"
#include "show/script.h"

namespace {

// A slow machine's clock. Replaying costs an eighth of the show time the replay covers (a
// 65 ms frame of the first part costs 8 ms), handing the globals over to the builder or back
// to the running show 10 ms; the running show's own frames cost nothing, so every pacing wait
// is whole. Twice the machine is busy elsewhere for 200 ms: in a replayed frame once the
// replays pass 20 s of show time, and in a hand-back once they pass 30 s.
uint32_t clock_ms = 0;
uint32_t replay_seen = 0;  // the replay's clock when last looked at
bool replaying = false;    // the last look was during a replay
bool busy_spell_done = false;
bool second_spell_done = false;
int late_waits = 0;        // waits the running show entered after their end
uint32_t last_idle = 0;    // the clock when the last wait ended
bool after_spell = false;  // a wait has ended since the busy spell
uint32_t longest_work = 0;  // the longest time between two waits after it
size_t copies_at_spell = 0;

uint32_t SlowTicks() {
  if (platform.ticks != SlowTicks) {  // a replay holds the globals, on the player's own clock
    uint32_t r = platform.ticks();
    if (!replaying) clock_ms += 10;
    if (r > replay_seen) clock_ms += (r - replay_seen) / 8;
    if (r > 20000 && !busy_spell_done) {
      clock_ms += 200;
      busy_spell_done = true;
      copies_at_spell = SnapshotCount();
    }
    replay_seen = r;
    replaying = true;
  } else if (replaying) {
    clock_ms += 10;
    if (replay_seen > 30000 && !second_spell_done) {
      clock_ms += 200;
      second_spell_done = true;
    }
    replaying = false;
  }
  return clock_ms;
}

void SlowIdle(uint32_t until) {
  SlowTicks();  // a hand-back not yet looked at
  if (static_cast<int32_t>(clock_ms - until) > 0) ++late_waits;
  if (after_spell) longest_work = std::max(longest_work, clock_ms - last_idle);
  after_spell = second_spell_done;
  clock_ms = last_idle = std::max(clock_ms, until);
}

void Nothing(const uint16_t*) {}
uint32_t NoRequests() { return 0; }
void NoWindow() {}

}  // namespace

TEST(PlayerSlices, EndBeforeTheWaitAndOutliveABusySpell) {
  ASSERT_EQ(StartHeadlessDemo(), nullptr);
  // The running show moves to the slow clock, from the virtual clock's reading.
  clock_ms = platform.ticks();
  platform = Platform{SlowTicks, SlowIdle, Nothing, NoRequests, NoRequests, NoWindow};
  StartPlayer();
  // The first part, whose waits of 65 and 40 ms leave room for slices, and the next, whose
  // waits of 20 ms do not.
  while (!quit && ShowTime() < 70000) {
    Script();
    AnswerRequests();
  }
  ASSERT_TRUE(busy_spell_done && second_spell_done);
  EXPECT_GE(copies_at_spell, 2u) << "slices fill the waits";
  EXPECT_GE(SnapshotCount(), copies_at_spell + 2) << "the builder came back after the busy spells";
  // The first slice learns what a frame costs, and each busy spell makes one more wait late.
  EXPECT_LE(late_waits, 3) << "slices overran their waits";
  // After the busy spells: at most 8 ms of building, a frame begun before then, and the hand-back.
  EXPECT_LE(longest_work, 8u + 8u + 10u) << "a slice kept the machine without a turn for others";
  ResetDemo();
}
