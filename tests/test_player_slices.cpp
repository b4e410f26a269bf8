// The builder of the player's state copies on a slow machine: a slice of a pacing wait's spare
// time replays another frame only while the dearest frame it has seen still fits before the
// wait ends, so the show's next frame is not held up; and a cost once seen fades, so that a
// moment when the machine was busy elsewhere does not keep the builder out for good.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/demo.h"
#include "platform/platform.h"
#include "show/headless.h"
#include "show/player.h"
#include "show/script.h"

namespace {

// A slow machine's clock. Replaying costs a quarter of the show time the replay covers (a
// 65 ms frame of the first part costs 16 ms); the running show's own frames cost nothing, so
// every pacing wait is whole. Once, when the replays pass 20 s of show time, the machine is
// busy elsewhere for 200 ms.
uint32_t clock_ms = 0;
uint32_t replay_seen = 0;  // the replay's clock when last looked at
bool busy_spell_done = false;
int late_waits = 0;        // waits the running show entered after their end

uint32_t SlowTicks() {
  if (platform.ticks != SlowTicks) {  // a replay holds the globals, on the player's own clock
    uint32_t r = platform.ticks();
    if (r > replay_seen) clock_ms += (r - replay_seen) / 4;
    if (r > 20000 && !busy_spell_done) {
      clock_ms += 200;
      busy_spell_done = true;
    }
    replay_seen = r;
  }
  return clock_ms;
}

void SlowIdle(uint32_t until) {
  if (static_cast<int32_t>(clock_ms - until) > 0) ++late_waits;
  clock_ms = std::max(clock_ms, until);
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
  int frames = 0;
  size_t copies_after_30s = 0;
  while (!quit && !TimelineWhole()) {
    Script();
    AnswerRequests();
    if (++frames == 30000 / 65) copies_after_30s = SnapshotCount();
  }
  EXPECT_TRUE(busy_spell_done);
  EXPECT_TRUE(TimelineWhole()) << "the builder came back after the busy spell";
  EXPECT_GE(copies_after_30s, 6u) << "slices still fill the waits";
  // The first slice learns what a frame costs, and the busy spell makes one more wait late.
  EXPECT_LE(late_waits, 2) << "slices overran their waits";
  ResetDemo();
}
