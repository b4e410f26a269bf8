// Progress of a long capture: a bar redrawn in place on a terminal, one line in a log.
#include <chrono>
#include <cstdio>

#include "tools/capture/capture.h"

namespace {

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string Clock(double seconds) {
  auto s = static_cast<long>(seconds + 0.5);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
  return buf;
}

}  // namespace

Progress::Progress(bool terminal, uint64_t expected_frames)
    : terminal_(terminal), expected_(expected_frames ? expected_frames : 1), start_ns_(NowNs()) {}

double Progress::Elapsed() const { return static_cast<double>(NowNs() - start_ns_) * 1e-9; }

void Progress::Update(uint64_t frames) {
  if (!terminal_) return;
  int64_t now = NowNs();
  if (now - last_draw_ns_ < 100'000'000) return;
  last_draw_ns_ = now;
  // The expected length is an estimate: never claim to be done before the end.
  double done = static_cast<double>(frames) / static_cast<double>(expected_);
  if (done > 0.99) done = 0.99;
  constexpr int kBar = 30;
  char bar[kBar + 1];
  int filled = static_cast<int>(done * kBar);
  for (int i = 0; i < kBar; ++i) bar[i] = i < filled ? '#' : '.';
  bar[kBar] = '\0';
  double elapsed = Elapsed();
  double left = done > 0 ? elapsed * (1 - done) / done : 0;
  std::fprintf(stderr, "\r[%s] %3d%%  %llu frames  %s elapsed  %s left ", bar,
               static_cast<int>(done * 100), static_cast<unsigned long long>(frames),
               Clock(elapsed).c_str(), Clock(left).c_str());
  std::fflush(stderr);
}

void Progress::Done(uint64_t frames, double video_seconds, const std::string& output) {
  double elapsed = Elapsed();
  if (terminal_) std::fprintf(stderr, "\r%*s\r", 78, "");
  std::fprintf(stderr,
               "glasswhirligo-capture: %llu frames (%.2f s of video) written to %s in %.1f s "
               "(%.1fx real time)\n",
               static_cast<unsigned long long>(frames), video_seconds, output.c_str(), elapsed,
               elapsed > 0 ? video_seconds / elapsed : 0.0);
}
