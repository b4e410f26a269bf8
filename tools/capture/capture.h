// The capture tool's pieces that do not touch the demo's globals: the command line, the video
// clock, the picture writers and the ffmpeg child. The runs themselves are in capture_main.cpp.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// ---- Command line ----------------------------------------------------------------------------

enum class Mode { kVideo, kSequence, kSeek, kAt, kBench, kHelp };
enum class Format { kPng, kRaw, kContainer };

struct Options {
  Mode mode = Mode::kHelp;
  std::string output;
  Format format = Format::kContainer;
  int scale = 0;              // 0 until parsed; the mode's default is filled in afterwards
  uint32_t fps = 50;
  uint64_t max_frames = 0;    // 0: no limit
  uint32_t seek_ms = 0;       // part-clock milliseconds
  int at_part = 0;
  uint32_t at_t = 0;
  uint32_t at_frame = 0;
};

// Parses argv; on a usage error returns false with a one-line message (without the program name).
bool ParseOptions(int argc, const char* const* argv, Options* opts, std::string* error);
const char* UsageText();

// ---- Numbered file names ---------------------------------------------------------------------

// "frames/%05d.png": a file name with one decimal conversion (%d, %Nd or %0Nd) in its last
// component; "%%" stands for a percent sign. Formatted here, never by printf.
struct NamePattern {
  std::string head, tail;
  int width = 0;
  bool zero_pad = false;
  std::string Format(uint64_t n) const;
};
// True when `name` holds a conversion; false with an empty error when it holds none.
bool ParseNamePattern(const std::string& name, NamePattern* out, std::string* error);
// The extension in lower case, with its dot (".mp4"); empty when there is none.
std::string LowerExtension(const std::string& name);

// ---- Video time ------------------------------------------------------------------------------

// Maps the frames the demo presents on its virtual clock to a video at a fixed rate. A frame
// presented at the same tick as the one before it (the loading screen's fade) is given one video
// frame of its own, which shifts all later video time by one frame.
class VideoClock {
 public:
  explicit VideoClock(uint32_t fps) : fps_(fps) {}
  // A frame is presented at `ticks`: returns how many video frames still show the frame before it.
  uint64_t Present(uint32_t ticks);
  // The demo ended at `ticks`: returns how many video frames show its last frame.
  uint64_t Finish(uint32_t ticks);
  // Video time, in seconds, of a moment at `ticks` after every frame presented so far.
  double Seconds(uint32_t ticks) const;
  uint64_t emitted() const { return emitted_; }

 private:
  uint64_t FramesBefore(uint32_t ticks) const;  // video frames that start before that moment
  uint32_t fps_;
  uint64_t emitted_ = 0;
  uint64_t shifted_ = 0;  // video frames inserted for presents at an unchanged tick
  bool any_ = false;
  uint32_t last_ticks_ = 0;
};

// ---- Output files ----------------------------------------------------------------------------

// A file written under a temporary name in its folder and renamed when complete, so that nothing
// half-written ever carries the final name.
class AtomicFile {
 public:
  AtomicFile() = default;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile() { Discard(); }
  // Reserves the temporary name (created empty); false with a message when the folder is not
  // writable or the name is a folder.
  bool Create(const std::string& final_name, std::string* error);
  const std::string& temp_name() const { return temp_; }
  bool Commit(std::string* error);
  void Discard();

 private:
  std::string final_, temp_;
};

// Writes one 320 x 240 RGB565 frame to an open file. PNG: each pixel repeated scale x scale
// times, channels widened to 8 bits by bit replication; raw: 153,600 bytes little-endian.
bool WritePngFrame(const std::string& path, const uint16_t* frame, int scale, int zlib_level,
                   std::string* error);
bool WriteRawFrame(const std::string& path, const uint16_t* frame, std::string* error);
// Either of the two into a reserved temporary name, then renamed to `path`.
bool WriteFrameInto(AtomicFile& file, const std::string& path, Format format,
                    const uint16_t* frame, int scale, int zlib_level, std::string* error);
// The same with a temporary name of its own.
bool WriteFrameFile(const std::string& path, Format format, const uint16_t* frame, int scale,
                    int zlib_level, std::string* error);

// ---- ffmpeg ----------------------------------------------------------------------------------

// The ffmpeg arguments for a video of raw frames read from standard input, with the song delayed
// by `song_delay_s` when `song` is not empty.
std::vector<std::string> FfmpegArguments(const std::string& output, const std::string& extension,
                                         uint32_t fps, int scale, const std::string& song,
                                         double song_delay_s);

// An ffmpeg child process fed through a pipe.
class FfmpegPipe {
 public:
  FfmpegPipe() = default;
  FfmpegPipe(const FfmpegPipe&) = delete;
  FfmpegPipe& operator=(const FfmpegPipe&) = delete;
  ~FfmpegPipe() { Abort(); }
  // false with a message when ffmpeg cannot be started.
  bool Start(const std::vector<std::string>& args, std::string* error);
  // false once ffmpeg has stopped reading.
  bool Write(const void* data, size_t n);
  // Closes the pipe and waits; false with a message unless ffmpeg exited with status 0.
  bool Finish(std::string* error);
  void Abort();

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
};

// The frame as little-endian RGB565 bytes, whatever the machine's byte order.
void FrameBytes(const uint16_t* frame, uint8_t* out);

// ---- Progress --------------------------------------------------------------------------------

// A progress bar on a terminal, refreshed a few times a second; a summary line otherwise.
class Progress {
 public:
  Progress(bool terminal, uint64_t expected_frames);
  void Update(uint64_t frames);
  void Done(uint64_t frames, double video_seconds, const std::string& output);

 private:
  double Elapsed() const;
  bool terminal_;
  uint64_t expected_;
  int64_t start_ns_;
  int64_t last_draw_ns_ = 0;
};
