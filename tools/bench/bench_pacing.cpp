// The pacing benchmark: the show on the real clock with SDL's dummy video and audio drivers
// (built for Windows: in the Win32 window, with waveOut), the song playing. Prints the share of one core the whole process used (drawing, waiting,
// the mixer's thread) and the intervals between shown frames. A pacing wait that spins on the
// clock shows up here as a whole core. Not a test: the figures depend on the machine and on
// what else runs on it.
//   bench_pacing [SECONDS]   plays SECONDS (default 15) of the second part, which the main
//                            loop paces at 20 ms, after the loading screen.
// Run from the build folder, where "fonts16.bin" and "demosong.ogg" are.
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/demo.h"
#include "platform/platform.h"
#include "platform/sound.h"
#include "precalc/precalc.h"
#include "show/loading.h"
#include "show/script.h"

namespace {

using Clock = std::chrono::steady_clock;

// When each frame was shown, and whether a pacing wait ended since the frame before (the
// loading screen's fade to black shows its frames unpaced).
struct Shown {
  Clock::time_point at;
  bool paced;
  double present_ms;  // spent handing the frame to SDL
};
std::vector<Shown> shown;
uint32_t frametime_at_last_present = 0;
void (*sdl_present)(const uint16_t*) = nullptr;

void TimedPresent(const uint16_t* frame) {
  const Clock::time_point at = Clock::now();
  sdl_present(frame);
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - at).count();
  shown.push_back({at, frametime != frametime_at_last_present, ms});
  frametime_at_last_present = frametime;
}

#ifdef _WIN32
double CpuSeconds() {
  FILETIME created, ended, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return ((uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime) / 1e7;  // 100 ns units
  };
  return seconds(kernel) + seconds(user);
}

bool OpenBenchWindow() { return OpenWindowsPlatform(0); }
const char* BenchWindowError() { return WindowsError(); }
void CloseBenchWindow() { CloseWindowsPlatform(); }
void PrintLoad() {}
#else
double CpuSeconds() {
  rusage use{};
  getrusage(RUSAGE_SELF, &use);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(use.ru_utime) + seconds(use.ru_stime);
}

bool OpenBenchWindow() {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  unsetenv("GLASSWHIRLIGO_VIRTUAL_CLOCK");
  return OpenSdlPlatform(0);
}
const char* BenchWindowError() { return SdlError(); }
void CloseBenchWindow() { CloseSdlPlatform(); }

// Other processes take the processor from the waits and stretch the intervals.
void PrintLoad() {
  double load = 0;
  if (getloadavg(&load, 1) == 1)
    std::printf("load average %.2f over %u processors\n", load, std::thread::hardware_concurrency());
}
#endif

// One stretch of the run: its wall and CPU time, and the frames shown in it.
struct Stretch {
  Clock::time_point wall_start;
  double cpu_start;
  size_t first_frame;
};

Stretch Begin() { return {Clock::now(), CpuSeconds(), shown.size()}; }

void Report(const char* what, const Stretch& s) {
  const double wall = std::chrono::duration<double>(Clock::now() - s.wall_start).count();
  const double cpu = CpuSeconds() - s.cpu_start;
  std::vector<double> ms;
  double present_ms = 0;
  for (size_t i = s.first_frame; i < shown.size(); ++i) present_ms += shown[i].present_ms;
  for (size_t i = s.first_frame + 1; i < shown.size(); ++i)
    if (shown[i].paced)
      ms.push_back(std::chrono::duration<double, std::milli>(shown[i].at - shown[i - 1].at).count());
  std::sort(ms.begin(), ms.end());
  const size_t frames = shown.size() - s.first_frame;
  std::printf("%-8s %5.1f s %5zu frames  CPU %5.1f%% of one core, presenting %.3f ms a frame\n",
              what, wall, frames, wall > 0 ? 100 * cpu / wall : 0.0,
              frames ? present_ms / frames : 0.0);
  if (!ms.empty())
    std::printf("%-8s %zu paced intervals: median %.3f ms, 98%% within %.3f to %.3f ms, "
                "shortest %.3f ms, longest %.3f ms\n",
                "", ms.size(), ms[ms.size() / 2], ms[ms.size() / 100], ms[ms.size() * 99 / 100],
                ms.front(), ms.back());
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 15.0;
  if (!(seconds > 0 && seconds <= 3600)) {
    std::fprintf(stderr, "usage: bench_pacing [SECONDS]  (more than 0, at most 3600)\n");
    return 2;
  }
  if (!OpenBenchWindow()) {
    std::fprintf(stderr, "bench_pacing: cannot open the window: %s\n", BenchWindowError());
    return 1;
  }
  PrintLoad();
  sdl_present = platform.present;
  platform.present = TimedPresent;

  // The loading screen builds the tables between its frames, so only its median interval
  // tells how it is paced; its CPU share is mostly that building.
  Stretch loading = Begin();
  if (const char* fault = precalcs()) {
    std::fprintf(stderr, "bench_pacing: %s\n", fault);
    CloseBenchWindow();
    return 1;
  }
  Report("loading", loading);
  SoundInit();
  PlaySong();

  // Straight into the second part, as the first one hands over to it.
  part = 2;
  prfrm = 0;
  partime = frametime = platform.ticks();
  Stretch play = Begin();
  const auto end = play.wall_start + std::chrono::duration<double>(seconds);
  while (!quit && Clock::now() < end) Script();
  Report("playing", play);

  CloseBenchWindow();
  SoundEnd();
  return 0;
}
