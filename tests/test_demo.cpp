// The whole demo end to end on the virtual clock: the order of the parts, the moments of the
// transitions, pictures that follow from the timeline, and a digest over every frame.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/demo.h"
#include "platform/platform.h"
#include "show/frame_digest.h"
#include "show/headless.h"
#include "show/script.h"

namespace {

struct FrameRecord {
  int part_before;
  int part_after;
  uint32_t t;      // the part clock the frame was drawn at
  uint32_t ticks;  // the virtual clock when the frame was shown
  bool all_white;
  bool all_black;
  bool same_as_previous;
};

struct RunSummary {
  uint64_t digest;
  uint32_t loading_frames;
  uint32_t start_ticks;
  uint32_t end_ticks;
  std::vector<FrameRecord> frames;
};

bool AllEqual(const uint16_t* f, uint16_t v) {
  for (int i = 0; i < kPixels; ++i)
    if (f[i] != v) return false;
  return true;
}

struct HookState {
  FrameDigest digest;
  uint32_t presented = 0;
};

void Hook(const uint16_t* frame, uint32_t, void* user) {
  auto* s = static_cast<HookState*>(user);
  s->digest.Add(frame);
  ++s->presented;
}

RunSummary RunWholeDemo() {
  RunSummary r{};
  HookState hook;
  SetFrameHook(Hook, &hook);
  EXPECT_STREQ(StartHeadlessDemo(), nullptr);
  r.loading_frames = hook.presented;
  r.start_ticks = VirtualTicks();
  static uint16_t previous[kPixels];
  std::memcpy(previous, vram, sizeof previous);
  do {
    FrameRecord f{};
    f.part_before = part;
    Script();
    f.part_after = part;
    f.t = prticks;
    f.ticks = VirtualTicks();
    f.all_white = AllEqual(vram, 0xFFFF);
    f.all_black = AllEqual(vram, 0);
    f.same_as_previous = std::memcmp(previous, vram, sizeof previous) == 0;
    std::memcpy(previous, vram, sizeof previous);
    r.frames.push_back(f);
  } while (!quit);
  r.end_ticks = VirtualTicks();
  r.digest = hook.digest.value();
  SetFrameHook(nullptr, nullptr);
  return r;
}

// The demo's state lives in globals for the whole run: each run gets a process of its own.
uint64_t DigestInChild() {
  int fds[2];
  if (pipe(fds) != 0) return 0;
  pid_t pid = fork();
  if (pid == 0) {
    uint64_t d = RunWholeDemo().digest;
    ssize_t w = write(fds[1], &d, sizeof d);
    _exit(w == sizeof d ? 0 : 1);
  }
  close(fds[1]);
  uint64_t d = 0;
  ssize_t n = read(fds[0], &d, sizeof d);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return n == sizeof d && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? d : 0;
}

class WholeDemo : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { run = new RunSummary(RunWholeDemo()); }
  static void TearDownTestSuite() { delete run; }
  static RunSummary* run;

  // Index of the frame in which `from` handed over.
  static size_t Handover(int from) {
    for (size_t i = 0; i < run->frames.size(); ++i)
      if (run->frames[i].part_before == from && run->frames[i].part_after != from) return i;
    return run->frames.size();
  }
};
RunSummary* WholeDemo::run = nullptr;

TEST_F(WholeDemo, LoadingScreenShowsItsFramesAndFade) {
  EXPECT_EQ(run->loading_frames, 68u + 256u);
  EXPECT_EQ(run->start_ticks, 68u * 20u);
}

TEST_F(WholeDemo, PartsRunInOrderAndHandOverAtTheirTimes) {
  const int order[] = {6, 2, 0, 1, 4, 3, 7};
  const uint32_t at[] = {63488, 24576, 34816, 28672, 20480, 53248, 86016};
  std::vector<int> seen;
  for (const auto& f : run->frames)
    if (seen.empty() || seen.back() != f.part_before) seen.push_back(f.part_before);
  EXPECT_EQ(seen, std::vector<int>(std::begin(order), std::end(order)));
  for (int k = 0; k < 6; ++k) {
    size_t i = Handover(order[k]);
    ASSERT_LT(i, run->frames.size()) << "part " << order[k];
    EXPECT_EQ(run->frames[i].part_after, order[k + 1]);
    EXPECT_GE(run->frames[i].t, at[k]) << "part " << order[k];
    if (order[k] == 6) {
      EXPECT_EQ(run->frames[i].t, 63515u);  // 379 x 65 + 972 x 40
    }
    EXPECT_LT(run->frames[i - 1].t, at[k]) << "part " << order[k];
  }
  EXPECT_EQ(run->frames.back().part_before, 7);
  EXPECT_GE(run->frames.back().t, 86016u);
  EXPECT_LT(run->frames[run->frames.size() - 2].t, 86016u);
}

TEST_F(WholeDemo, LastsAboutTheTimelinesTotal) {
  uint32_t total = run->end_ticks - run->start_ticks;
  EXPECT_GE(total, 237568u);
  EXPECT_LE(total, 237568u + 7 * 65u);
}

TEST_F(WholeDemo, PartClocksRestartOnlyWhereTheTimelineSaysSo) {
  // Parts 4, 3 and 7 share one clock: part 3 starts at 20480 and part 7 at 53248.
  size_t to3 = Handover(4), to7 = Handover(3);
  ASSERT_LT(to7, run->frames.size());
  EXPECT_GT(run->frames[to3 + 1].t, 20480u);
  EXPECT_GT(run->frames[to7 + 1].t, 53248u);
  // The first frame of part 2 runs near t = 0.
  EXPECT_LE(run->frames[Handover(6) + 1].t, 20u);
}

TEST_F(WholeDemo, PicturesAtChosenMoments) {
  EXPECT_TRUE(run->frames[Handover(6)].all_white) << "white-out at the end of part 6";
  EXPECT_TRUE(run->frames[Handover(0)].all_white) << "white-out at the end of part 0";
  EXPECT_TRUE(run->frames[Handover(2)].same_as_previous) << "part 2 hands over without drawing";
  for (const auto& f : run->frames)
    if (f.part_before == 7 && f.t >= 81920) {
      EXPECT_TRUE(f.all_black) << "t " << f.t;
    }
}

TEST_F(WholeDemo, PacingFollowsThePart) {
  // 65 ms frames for part 6's first 24.6 s, then 40 ms, then 20 ms for every other part.
  const auto& fr = run->frames;
  for (size_t i = 1; i < fr.size(); ++i) {
    uint32_t step = fr[i].ticks - fr[i - 1].ticks;
    if (fr[i].part_before == 6 && fr[i].t <= 24575) {
      EXPECT_EQ(step, 65u) << i;
    } else if (fr[i].part_before != 6 && fr[i - 1].part_before != 6) {
      EXPECT_EQ(step, 20u) << i;
    }
  }
}

TEST(Determinism, TwoRunsGiveTheSameFrames) {
  uint64_t a = DigestInChild();
  uint64_t b = DigestInChild();
  ASSERT_NE(a, 0u);
  EXPECT_EQ(a, b);
  std::printf("frame digest: %016llx\n", static_cast<unsigned long long>(a));
  EXPECT_EQ(a, kShowDigest) << "the demo's frames changed";
}

}  // namespace
