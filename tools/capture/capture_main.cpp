// glasswhirligo-capture: runs the demo's own start-up and frames on the headless platform and
// writes what the screen shows, as a video, numbered pictures, one moment, or frame timings.
//
// Time model. The demo runs on a virtual clock, as on an ideal machine where drawing costs
// nothing: every pacing wait lasts exactly its length, so a main-loop frame takes 20 ms (the
// opening part's 65 and 40 ms), and a loading-screen frame 20 ms. A frame is on screen from the
// virtual moment it is presented until the next one is. The loading screen's fade presents its
// 256 frames at one and the same moment; each frame presented at the same moment as the one
// before it is given one video frame of its own, which shifts all later video time by one
// frame. Video frame k (at k / fps seconds) shows the last frame presented at or before its
// time; the song starts at the video time of the part clock's start. --seek counts plain
// virtual time from the part clock's start, where no such shift exists, and is the player's own
// seek (show/player.h), as Left and Right use it.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "platform/data_files.h"
#include "platform/demo.h"
#include "platform/platform.h"
#include "show/headless.h"
#include "show/player.h"
#include "show/script.h"
#include "tools/capture/capture.h"

namespace {

constexpr const char* kSong = "demosong.ogg";
// The parts' nominal lengths added up; only the progress estimate uses it.
constexpr uint32_t kNominalTimelineMs = 237568;
constexpr int kSingleFrameZlibLevel = 9;  // stills are kept: small files
constexpr int kSequenceZlibLevel = 1;     // thousands of frames: fast files

volatile sig_atomic_t interrupted = 0;
void OnInterrupt(int) { interrupted = 1; }

int UsageError(const std::string& msg) {
  std::fprintf(stderr, "glasswhirligo-capture: %s\n", msg.c_str());
  return 2;
}

int Failure(const std::string& msg) {
  std::fprintf(stderr, "glasswhirligo-capture: %s\n", msg.c_str());
  return 1;
}

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// ---- Video and numbered pictures ---------------------------------------------------------------

// Receives the demo's presented frames, turns them into video frames by the time model and writes
// them. Frames that come before the writer is ready (the song's delay is known only when the
// part clock starts) wait in memory.
struct VideoCapture {
  explicit VideoCapture(const Options& o) : opts(o), clock(o.fps) {}

  const Options& opts;
  VideoClock clock;
  std::vector<uint16_t> shown = std::vector<uint16_t>(kPixels, 0);  // black until the first frame
  uint64_t written = 0;
  bool failed = false;
  std::string error;

  // One of the two writers.
  FfmpegPipe* ffmpeg = nullptr;
  const NamePattern* pattern = nullptr;
  bool ready = false;
  std::vector<std::pair<std::vector<uint16_t>, uint64_t>> pending;
  std::vector<uint8_t> bytes = std::vector<uint8_t>(kPixels * 2);
  Progress* progress = nullptr;

  bool Full() const { return opts.max_frames != 0 && written >= opts.max_frames; }

  void WriteOne(const uint16_t* frame) {
    if (ffmpeg) {
      FrameBytes(frame, bytes.data());
      if (!ffmpeg->Write(bytes.data(), bytes.size())) {
        failed = true;
        error = "ffmpeg stopped reading frames";
        return;
      }
    } else if (!WriteFrameFile(pattern->Format(written), opts.format, frame, opts.scale,
                               kSequenceZlibLevel, &error)) {
      failed = true;
      return;
    }
    ++written;
    if (progress) progress->Update(written);
  }

  // `count` video frames that show the frame currently on screen.
  void Emit(uint64_t count) {
    if (!ready) {
      if (count) pending.emplace_back(shown, count);
      return;
    }
    for (uint64_t i = 0; i < count && !failed && !Full() && !interrupted; ++i)
      WriteOne(shown.data());
  }

  void MakeReady() {
    ready = true;
    for (auto& [frame, count] : pending)
      for (uint64_t i = 0; i < count && !failed && !Full() && !interrupted; ++i)
        WriteOne(frame.data());
    pending.clear();
  }

  static void Hook(const uint16_t* frame, uint32_t ticks, void* user) {
    auto* self = static_cast<VideoCapture*>(user);
    self->Emit(self->clock.Present(ticks));
    std::memcpy(self->shown.data(), frame, kPixels * sizeof(uint16_t));
  }
};

// Makes the folder of a numbered output when it is missing, and proves it writable.
bool PrepareSequence(const NamePattern& pattern, std::string* error) {
  std::string first = pattern.Format(0);
  size_t slash = first.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    std::string folder = first.substr(0, slash);
    struct stat st{};
    if (stat(folder.c_str(), &st) != 0 && mkdir(folder.c_str(), 0777) != 0) {
      *error = "cannot make the folder " + folder + ": " + std::strerror(errno);
      return false;
    }
  }
  AtomicFile probe;
  return probe.Create(first, error);
}

bool StartEncoder(const Options& o, const std::string& temp_name, double song_delay_s,
                  FfmpegPipe* ffmpeg, std::string* error) {
  const std::string song = FindDataFile(kSong);
  if (song.empty())
    std::fprintf(stderr, "glasswhirligo-capture: no %s in %s: the video is silent\n", kSong,
                 DataFoldersText().c_str());
  return ffmpeg->Start(FfmpegArguments(temp_name, LowerExtension(o.output), o.fps, o.scale, song,
                                       song_delay_s),
                       error);
}

int RunVideo(const Options& o) {
  NamePattern pattern;
  std::string error;
  AtomicFile file;
  if (o.mode == Mode::kSequence) {
    ParseNamePattern(o.output, &pattern, &error);
    if (!PrepareSequence(pattern, &error)) return UsageError(error);
  } else if (!file.Create(o.output, &error)) {
    return UsageError(error);
  }

  auto cap = std::make_unique<VideoCapture>(o);
  FfmpegPipe ffmpeg;
  if (o.mode == Mode::kSequence) cap->pattern = &pattern;
  else cap->ffmpeg = &ffmpeg;

  SetFrameHook(VideoCapture::Hook, cap.get());
  if (const char* fault = StartHeadlessDemo()) return Failure(fault);
  double song_delay = cap->clock.Seconds(partime);
  if (cap->ffmpeg && !StartEncoder(o, file.temp_name(), song_delay, &ffmpeg, &error))
    return Failure(error);

  uint64_t expected = static_cast<uint64_t>((song_delay + kNominalTimelineMs / 1000.0) * o.fps);
  if (o.max_frames) expected = std::min(expected, o.max_frames);
  Progress progress(isatty(2) != 0, expected);
  cap->progress = &progress;
  cap->MakeReady();
  while (!quit && !cap->failed && !cap->Full() && !interrupted) Script();
  if (quit) cap->Emit(cap->clock.Finish(VirtualTicks()));
  SetFrameHook(nullptr, nullptr);

  if (interrupted)
    return Failure(o.mode == Mode::kVideo ? "interrupted; nothing written to " + o.output
                                          : "interrupted after " + std::to_string(cap->written) +
                                                " pictures");
  if (cap->failed) {
    // When ffmpeg gave up, its exit status says more than the broken pipe.
    if (cap->ffmpeg) ffmpeg.Finish(&cap->error);
    return Failure(cap->error);
  }
  if (cap->ffmpeg && (!ffmpeg.Finish(&error) || !file.Commit(&error))) return Failure(error);
  progress.Done(cap->written, static_cast<double>(cap->written) / o.fps, o.output);
  return 0;
}

// ---- One frame -----------------------------------------------------------------------------

bool WriteFrameTo(AtomicFile& file, const Options& o, const uint16_t* frame, std::string* error) {
  return WriteFrameInto(file, o.output, o.format, frame, o.scale, kSingleFrameZlibLevel, error);
}

// The player's own seek: the state a replay has at that moment, and the frame it shows.
int RunSeek(const Options& o) {
  AtomicFile file;
  std::string error;
  if (!file.Create(o.output, &error)) return UsageError(error);
  bool reached = false;
  if (const char* fault = SeekFreshShow(o.seek_ms, &reached)) return Failure(fault);
  if (!reached) {
    char msg[160];
    std::snprintf(msg, sizeof msg, "--seek %.3f: the demo ends %.3f s after the part clock starts",
                  o.seek_ms / 1000.0, ShowEnd() / 1000.0);
    return UsageError(msg);
  }
  if (!WriteFrameTo(file, o, vram, &error)) return Failure(error);
  return 0;
}

int RunAt(const Options& o) {
  AtomicFile file;
  std::string error;
  if (!file.Create(o.output, &error)) return UsageError(error);
  if (const char* fault = StartHeadlessDemo()) return Failure(fault);
  std::memset(vram, 0, sizeof vram);
  part = o.at_part;
  prfrm = o.at_frame;
  partime = platform.ticks() - o.at_t;
  Parts();
  if (!WriteFrameTo(file, o, vram, &error)) return Failure(error);
  return 0;
}

// ---- Timings -------------------------------------------------------------------------------

void PrintPartRow(const char* label, std::vector<double> ms) {
  if (ms.empty()) return;
  double sum = 0;
  for (double v : ms) sum += v;
  std::sort(ms.begin(), ms.end());
  size_t n = ms.size();
  double median = n % 2 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2;
  std::printf("%-6s %7zu %9.3f %9.3f %9.3f %10.1f\n", label, n, sum / n, median, ms.back(), sum);
}

int RunBench() {
  using Clock = std::chrono::steady_clock;
  auto t0 = Clock::now();
  if (const char* fault = StartHeadlessDemo()) return Failure(fault);
  double precalc_ms = Seconds(Clock::now() - t0) * 1000;
  uint32_t clock_start = partime;

  std::vector<int> order;
  std::map<int, std::vector<double>> per_part;
  std::vector<double> all;
  do {
    int p = part;
    auto a = Clock::now();
    Script();
    double ms = Seconds(Clock::now() - a) * 1000;
    if (per_part.find(p) == per_part.end()) order.push_back(p);
    per_part[p].push_back(ms);
    all.push_back(ms);
  } while (!quit && !interrupted);
  if (interrupted) return Failure("interrupted");

  std::printf("%-6s %7s %9s %9s %9s %10s\n", "part", "frames", "mean ms", "median", "worst",
              "total ms");
  for (int p : order) PrintPartRow(std::to_string(p).c_str(), per_part[p]);
  PrintPartRow("all", all);
  double run_ms = 0;
  for (double v : all) run_ms += v;
  double virtual_ms = VirtualTicks() - clock_start;
  std::printf("precalculation: %.1f ms\n", precalc_ms);
  std::printf("frames: %.1f s of demo in %.1f ms, %.0fx faster than real time\n",
              virtual_ms / 1000, run_ms, run_ms > 0 ? virtual_ms / run_ms : 0.0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options opts;
  std::string error;
  if (!ParseOptions(argc, argv, &opts, &error)) return UsageError(error);
  if (opts.mode == Mode::kHelp) {
    std::fputs(UsageText(), stdout);
    return 0;
  }
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  switch (opts.mode) {
    case Mode::kVideo:
    case Mode::kSequence: return RunVideo(opts);
    case Mode::kSeek: return RunSeek(opts);
    case Mode::kAt: return RunAt(opts);
    case Mode::kBench: return RunBench();
    case Mode::kHelp: break;
  }
  return 0;
}
