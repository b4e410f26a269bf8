// A soak: the whole demo three times over in one process on the virtual clock. Memory must
// stay flat from run to run, every run must show the same frames, and in the sanitizer build
// nothing may leak beyond the 3D objects that start-up builds and keeps for the whole run.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine3d/engine3d.h"
#include "platform/demo.h"
#include "platform/platform.h"
#include "precalc/precalc.h"
#include "render3d/render3d.h"
#include "show/frame_digest.h"
#include "show/headless.h"
#include "show/script.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

constexpr int kRuns = 3;

struct RunFigures {
  long max_rss_kb;  // peak resident memory of the process after the run
  long frames;
  uint64_t digest;
};

struct SoakReport {
  RunFigures runs[kRuns];
  int leaks;  // 1 when the leak check found something
};

struct Watch {
  long frames = 0;
  FrameDigest digest;
};

void Watcher(const uint16_t* frame, uint32_t, void* user) {
  auto* w = static_cast<Watch*>(user);
  ++w->frames;
  w->digest.Add(frame);
}

long PeakRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

SoakReport Soak() {
  SoakReport r{};
  for (int i = 0; i < kRuns; ++i) {
    Watch w;
    SetFrameHook(Watcher, &w);
    EXPECT_STREQ(RunHeadlessDemo(), nullptr);
    SetFrameHook(nullptr, nullptr);
    r.runs[i] = {PeakRssKb(), w.frames, w.digest.value()};
  }
#if defined(__SANITIZE_ADDRESS__)
  r.leaks = __lsan_do_recoverable_leak_check() != 0;
#endif
  return r;
}

// The demo's globals would outlive the test: the soak runs in a process of its own.
bool SoakInChild(SoakReport* out) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    SoakReport r = Soak();
    _exit(write(fds[1], &r, sizeof r) == sizeof r ? 0 : 1);
  }
  close(fds[1]);
  bool got = read(fds[0], out, sizeof *out) == sizeof *out;
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return got && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(Soak, ThreeWholeRunsKeepMemoryFlatAndShowTheSameFrames) {
  SoakReport r{};
  ASSERT_TRUE(SoakInChild(&r));
  for (int i = 0; i < kRuns; ++i)
    std::printf("run %d: %ld frames, peak resident %ld KiB\n", i + 1, r.runs[i].frames,
                r.runs[i].max_rss_kb);
  EXPECT_GT(r.runs[0].frames, 5000);
  for (int i = 1; i < kRuns; ++i) {
    EXPECT_EQ(r.runs[i].frames, r.runs[0].frames) << "run " << i + 1;
    EXPECT_EQ(r.runs[i].digest, r.runs[0].digest) << "run " << i + 1;
  }
  // The first run touches every table and buffer; later runs may only add noise.
  EXPECT_LE(r.runs[kRuns - 1].max_rss_kb - r.runs[0].max_rss_kb, 4096);
  EXPECT_EQ(r.leaks, 0) << "the leak report is on stderr";
}

}  // namespace
