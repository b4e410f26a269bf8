// The capture tool: its command line, its video clock, and the built program's outputs checked
// against the demo run in this process on the same virtual clock.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/demo.h"
#include "platform/platform.h"
#include "show/headless.h"
#include "show/script.h"
#include "tests/support/emulator.h"
#include "tools/capture/capture.h"

namespace {

namespace fs = std::filesystem;
using Frame = std::vector<uint16_t>;

// ---- Command line ----------------------------------------------------------------------------

bool Parse(std::vector<const char*> args, Options* o, std::string* error) {
  args.insert(args.begin(), "glasswhirligo-capture");
  return ParseOptions(static_cast<int>(args.size()), args.data(), o, error);
}

TEST(CaptureOptions, ModesAndTheirDefaults) {
  Options o;
  std::string e;
  ASSERT_TRUE(Parse({"-o", "demo.mp4"}, &o, &e)) << e;
  EXPECT_EQ(o.mode, Mode::kVideo);
  EXPECT_EQ(o.scale, 3);
  EXPECT_EQ(o.fps, 50u);
  EXPECT_EQ(o.max_frames, 0u);

  ASSERT_TRUE(Parse({"--output=frames/%05d.PNG", "--fps", "25", "--frames=10"}, &o, &e)) << e;
  EXPECT_EQ(o.mode, Mode::kSequence);
  EXPECT_EQ(o.format, Format::kPng);
  EXPECT_EQ(o.scale, 3);
  EXPECT_EQ(o.fps, 25u);
  EXPECT_EQ(o.max_frames, 10u);

  ASSERT_TRUE(Parse({"--seek", "12.5", "-o", "m.png"}, &o, &e)) << e;
  EXPECT_EQ(o.mode, Mode::kSeek);
  EXPECT_EQ(o.seek_ms, 12500u);
  EXPECT_EQ(o.scale, 1);

  ASSERT_TRUE(Parse({"--at", "7:60000:4321", "-o", "f.raw", "--scale", "1"}, &o, &e)) << e;
  EXPECT_EQ(o.mode, Mode::kAt);
  EXPECT_EQ(o.format, Format::kRaw);
  EXPECT_EQ(o.at_part, 7);
  EXPECT_EQ(o.at_t, 60000u);
  EXPECT_EQ(o.at_frame, 4321u);

  ASSERT_TRUE(Parse({"--at", "0:4294967295:0", "-o", "f.png", "--scale", "9"}, &o, &e)) << e;
  EXPECT_EQ(o.at_t, 4294967295u);
  EXPECT_EQ(o.scale, 9);

  ASSERT_TRUE(Parse({"--bench"}, &o, &e)) << e;
  EXPECT_EQ(o.mode, Mode::kBench);
  ASSERT_TRUE(Parse({"-o", "x.mp4", "--help"}, &o, &e)) << e;
  EXPECT_EQ(o.mode, Mode::kHelp);
}

TEST(CaptureOptions, MistakesAreRefusedWithOneLine) {
  const std::vector<std::vector<const char*>> bad = {
      {},
      {"--frobnicate"},
      {"stray"},
      {"-o"},
      {"--at", "8:0:0", "-o", "f.png"},
      {"--at", "-1:0:0", "-o", "f.png"},
      {"--at", "1:abc:0", "-o", "f.png"},
      {"--at", "1:0", "-o", "f.png"},
      {"--at", "1:4294967296:0", "-o", "f.png"},
      {"--at", "1:0:0:0", "-o", "f.png"},
      {"--at", "1:0:0", "-o", "clip.mp4"},
      {"--seek", "-1", "-o", "m.png"},
      {"--seek", "nan", "-o", "m.png"},
      {"--seek", "3", "--at", "1:0:0", "-o", "m.png"},
      {"--seek", "3", "-o", "frames/%d.png"},
      {"--seek", "3", "-o", "m.png", "--frames", "2"},
      {"-o", "m.png"},
      {"-o", "noextension"},
      {"-o", "clip.mp4", "--scale", "0"},
      {"-o", "clip.mp4", "--scale", "10"},
      {"-o", "clip.mp4", "--scale", "2x"},
      {"-o", "clip.mp4", "--fps", "0"},
      {"-o", "clip.mp4", "--frames", "0"},
      {"-o", "f/%05d.raw", "--scale", "2"},
      {"-o", "f/%d%d.png"},
      {"-o", "f/%s.png"},
      {"-o", "f%d/x.png"},
      {"-o", "f/%d.mp4"},
      {"--bench", "-o", "x.mp4"},
      {"--bench", "--fps", "25"},
  };
  for (const auto& args : bad) {
    Options o;
    std::string e;
    std::string joined;
    for (const char* a : args) joined += std::string(a) + " ";
    EXPECT_FALSE(Parse(args, &o, &e)) << joined;
    EXPECT_FALSE(e.empty()) << joined;
    EXPECT_EQ(e.find('\n'), std::string::npos) << joined;
  }
}

TEST(CaptureOptions, NumberedNames) {
  NamePattern p;
  std::string e;
  ASSERT_TRUE(ParseNamePattern("frames/%05d.png", &p, &e));
  EXPECT_EQ(p.Format(42), "frames/00042.png");
  EXPECT_EQ(p.Format(1234567), "frames/1234567.png");
  ASSERT_TRUE(ParseNamePattern("%d.raw", &p, &e));
  EXPECT_EQ(p.Format(7), "7.raw");
  ASSERT_TRUE(ParseNamePattern("100%%/a%%b%3d.png", &p, &e));
  EXPECT_EQ(p.Format(7), "100%/a%b  7.png");
  EXPECT_FALSE(ParseNamePattern("plain.png", &p, &e));
  EXPECT_TRUE(e.empty());
  ASSERT_TRUE(ParseNamePattern("%20d.raw", &p, &e)) << e;  // the widest the help allows
  EXPECT_EQ(p.Format(7), std::string(19, ' ') + "7.raw");
  EXPECT_FALSE(ParseNamePattern("%21d.raw", &p, &e));
  EXPECT_NE(e.find("up to 20"), std::string::npos) << e;
  EXPECT_FALSE(ParseNamePattern("%99999999999d.png", &p, &e));
  EXPECT_FALSE(e.empty());
  EXPECT_FALSE(ParseNamePattern("trailing%", &p, &e));
  EXPECT_FALSE(e.empty());
  EXPECT_EQ(LowerExtension("dir.d/Clip.MKV"), ".mkv");
  EXPECT_EQ(LowerExtension("dir.d/clip"), "");
  EXPECT_EQ(LowerExtension(".hidden"), "");
}

// ---- Video clock -----------------------------------------------------------------------------

TEST(CaptureVideoClock, FramesOfTwentyMillisecondsMapOneToOneAtFiftyPerSecond) {
  VideoClock c(50);
  EXPECT_EQ(c.Present(0), 0u);  // nothing was on screen before the first frame
  for (uint32_t t = 20; t <= 2000; t += 20) EXPECT_EQ(c.Present(t), 1u) << t;
  EXPECT_EQ(c.Finish(2020), 1u);
  EXPECT_EQ(c.emitted(), 101u);
  EXPECT_EQ(c.Finish(2020), 0u);
}

TEST(CaptureVideoClock, FramesAtTheSameMomentGetOneVideoFrameEachAndShiftTheRest) {
  VideoClock c(50);
  c.Present(0);
  EXPECT_EQ(c.Present(20), 1u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(c.Present(20), 1u);  // a fade with no waits
  // The clock starts after the fade: 20 ms plus five inserted frames.
  EXPECT_DOUBLE_EQ(c.Seconds(20), 0.12);
  EXPECT_EQ(c.Present(85), 1u + 3u);  // the last fade frame, then 65 ms later a new frame
  EXPECT_EQ(c.emitted(), 10u);
}

TEST(CaptureVideoClock, SlowFramesRepeatAndFastFramesDrop) {
  VideoClock c(50);
  c.Present(0);
  uint64_t total = 0;
  for (uint32_t t = 65; t <= 65 * 40; t += 65) {
    uint64_t n = c.Present(t);
    EXPECT_TRUE(n == 3 || n == 4) << t;
    total += n;
  }
  EXPECT_EQ(total, 130u);  // video frames 0 .. 129 start before 2600 ms

  VideoClock slow(25);
  slow.Present(0);
  EXPECT_EQ(slow.Present(20), 1u);  // video frame 0 shows the first frame
  EXPECT_EQ(slow.Present(40), 0u);  // the frame of 20 ms is never shown
  EXPECT_EQ(slow.Present(60), 1u);  // video frame 1 shows the frame of 40 ms
  EXPECT_EQ(slow.Finish(80), 0u);   // and the frame of 60 ms is gone before frame 2

  VideoClock odd(30);  // 33.3 ms frames: no rounding drift over a long run
  odd.Present(0);
  for (uint32_t t = 20; t <= 200000; t += 20) odd.Present(t);
  odd.Finish(200020);
  EXPECT_EQ(odd.emitted(), 6001u);
}

// ---- The program -----------------------------------------------------------------------------

struct Result {
  int status = -1;
  std::string err;
};

// Runs the built program with its standard error captured; `dir` is its working folder.
Result RunCapture(const std::vector<std::string>& args, const std::string& dir = ".",
                  const char* path_env = nullptr) {
  static const std::string exe = fs::absolute("glasswhirligo-capture").string();
  std::string errfile = fs::temp_directory_path() / ("gwcap-err-" + std::to_string(getpid()));
  pid_t pid = fork();
  if (pid == 0) {
    int fd = open(errfile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || dup2(fd, 2) < 0 || chdir(dir.c_str()) != 0) _exit(99);
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 1);
    if (path_env) setenv("PATH", path_env, 1);
    std::vector<std::string> words = gw_test::TargetCommand(exe, args);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(98);
  }
  Result r;
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(errfile);
  r.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  fs::remove(errfile);
  return r;
}

std::vector<uint8_t> ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A raw frame: little-endian RGB565, row-major.
Frame DecodeRaw(const std::vector<uint8_t>& b) {
  Frame f(kPixels);
  for (int i = 0; i < kPixels && 2 * i + 1 < static_cast<int>(b.size()); ++i)
    f[i] = static_cast<uint16_t>(b[2 * i] | (b[2 * i + 1] << 8));
  return f;
}

// The frame as 8-bit RGB, each channel widened by repeating its top bits, each pixel repeated.
std::vector<uint8_t> Widen(const Frame& f, int scale) {
  std::vector<uint8_t> out;
  for (int y = 0; y < kHeight * scale; ++y)
    for (int x = 0; x < kWidth * scale; ++x) {
      uint32_t p = f[(y / scale) * kWidth + x / scale];
      uint32_t r5 = p >> 11, g6 = (p >> 5) & 63, b5 = p & 31;
      out.push_back(static_cast<uint8_t>((r5 << 3) | (r5 >> 2)));
      out.push_back(static_cast<uint8_t>((g6 << 2) | (g6 >> 4)));
      out.push_back(static_cast<uint8_t>((b5 << 3) | (b5 >> 2)));
    }
  return out;
}

struct Rgb {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> pixels;
};

Rgb ReadPng(const fs::path& p) {
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  Rgb out;
  if (!png_image_begin_read_from_file(&img, p.c_str())) return out;
  img.format = PNG_FORMAT_RGB;
  out.pixels.resize(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, nullptr, out.pixels.data(), 0, nullptr)) return {};
  out.width = img.width;
  out.height = img.height;
  return out;
}

std::string Probe(const fs::path& file, const char* entries) {
  std::string cmd = std::string("ffprobe -v error -of default=nw=1 -show_entries ") + entries +
                    " '" + file.string() + "'";
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  return out;
}

// The demo, run once in this process on the virtual clock, with the frames the tests compare.
struct Moment {
  Moment(int p, uint32_t time) : part(p), t(time) {}
  int part;
  uint32_t t;
  uint32_t prfrm = 0;
  Frame frame;
};

struct Reference {
  std::vector<Frame> first_presented;  // loading frames, then the start of the fade
  std::vector<Moment> moments = {{1, 500}, {1, 3000}, {3, 40000}, {7, 60000}};
  std::vector<uint32_t> seek_ms = {0, 3250, 70000};
  std::vector<uint32_t> seek_target;
  std::vector<Frame> seek_frame;
  bool clock_started = false;
};

constexpr size_t kFirstFrames = 90;

void ReferenceHook(const uint16_t* frame, uint32_t ticks, void* user) {
  auto* r = static_cast<Reference*>(user);
  if (r->first_presented.size() < kFirstFrames) r->first_presented.emplace_back(frame, frame + kPixels);
  for (size_t i = 0; i < r->seek_ms.size(); ++i)
    if (!r->clock_started || ticks <= r->seek_target[i])
      r->seek_frame[i].assign(frame, frame + kPixels);
}

class CaptureProgram : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ref = new Reference;
    ref->seek_target.assign(ref->seek_ms.size(), 0);
    ref->seek_frame.assign(ref->seek_ms.size(), Frame(kPixels));
    SetFrameHook(ReferenceHook, ref);
    ASSERT_STREQ(StartHeadlessDemo(), nullptr);
    for (size_t i = 0; i < ref->seek_ms.size(); ++i) ref->seek_target[i] = partime + ref->seek_ms[i];
    ref->clock_started = true;
    size_t found = 0;
    do {
      int p = part;
      uint32_t f = prfrm;
      Script();
      for (auto& m : ref->moments)
        if (m.frame.empty() && m.part == p && m.t == prticks) {
          m.prfrm = f;
          m.frame.assign(vram, vram + kPixels);
          ++found;
        }
    } while (!quit && found < ref->moments.size());
    SetFrameHook(nullptr, nullptr);
  }
  static void TearDownTestSuite() { delete ref; }

  void SetUp() override {
    char tmpl[] = "/tmp/gwcap-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override { fs::remove_all(dir); }

  // Everything in the folder, so that a test can see that no temporary was left behind.
  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  static Reference* ref;
  fs::path dir;
};
Reference* CaptureProgram::ref = nullptr;

TEST_F(CaptureProgram, MistakesExitWithStatusTwoAndOneLine) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--frobnicate"},
           {"--at", "9:0:0", "-o", (dir / "f.png").string()},
           {"--at", "1:x:0", "-o", (dir / "f.png").string()},
           {"--at", "1:0:0", "-o", (dir / "missing" / "f.png").string()},
           {"--at", "1:0:0", "-o", dir.string() + "/"},
           {"--seek", "999", "-o", (dir / "late.png").string()}}) {
    Result r = RunCapture(args);
    EXPECT_EQ(r.status, 2) << args[0] << " " << r.err;
    ASSERT_FALSE(r.err.empty()) << args[0];
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  }
  EXPECT_TRUE(Listing().empty());
  Result help = RunCapture({"--help"});
  EXPECT_EQ(help.status, 0);
}

TEST_F(CaptureProgram, SingleMomentsEqualTheFramesOfTheTimeline) {
  for (const auto& m : ref->moments) {
    ASSERT_FALSE(m.frame.empty()) << "part " << m.part << " never drew t = " << m.t;
    std::string at = std::to_string(m.part) + ":" + std::to_string(m.t) + ":" + std::to_string(m.prfrm);
    fs::path out = dir / ("at-" + std::to_string(m.part) + ".raw");
    Result r = RunCapture({"--at", at, "-o", out.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<uint8_t> bytes = ReadFile(out);
    ASSERT_EQ(bytes.size(), 153600u);
    EXPECT_TRUE(DecodeRaw(bytes) == m.frame) << "--at " << at;
  }
}

TEST_F(CaptureProgram, SeekShowsTheLastFramePresentedByThatMoment) {
  for (size_t i = 0; i < ref->seek_ms.size(); ++i) {
    fs::path out = dir / "seek.raw";
    char secs[32];
    std::snprintf(secs, sizeof secs, "%.3f", ref->seek_ms[i] / 1000.0);
    Result r = RunCapture({"--seek", secs, "-o", out.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(DecodeRaw(ReadFile(out)) == ref->seek_frame[i]) << "--seek " << secs;
  }
  // The moment the clock starts, the fade has just ended in black.
  EXPECT_EQ(ref->seek_frame[0], Frame(kPixels, 0));
}

TEST_F(CaptureProgram, PngIsTheRawFrameWidenedByBitReplicationAndScaled) {
  fs::path raw = dir / "f.raw", png = dir / "f.png";
  const auto& m = ref->moments[0];
  std::string at = "1:" + std::to_string(m.t) + ":" + std::to_string(m.prfrm);
  ASSERT_EQ(RunCapture({"--at", at, "-o", raw.string()}).status, 0);
  ASSERT_EQ(RunCapture({"--at", at, "--scale", "2", "-o", png.string()}).status, 0);
  Frame f = DecodeRaw(ReadFile(raw));
  Rgb img = ReadPng(png);
  ASSERT_EQ(img.width, 640u);
  ASSERT_EQ(img.height, 480u);
  EXPECT_TRUE(img.pixels == Widen(f, 2));
  EXPECT_EQ(Listing(), (std::vector<std::string>{"f.png", "f.raw"}));
}

TEST_F(CaptureProgram, NumberedPicturesFollowTheLoadingScreenFrameByFrame) {
  Result r = RunCapture({"--frames", "80", "-o", (dir / "seq" / "%03d.raw").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("80 frames"), std::string::npos) << r.err;  // one summary line
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir / "seq")) names.push_back(e.path().filename());
  ASSERT_EQ(names.size(), 80u);
  // 68 loading frames of 20 ms, then the fade's frames, one video frame each.
  ASSERT_GE(ref->first_presented.size(), 80u);
  for (int k = 0; k < 80; ++k) {
    char name[16];
    std::snprintf(name, sizeof name, "%03d.raw", k);
    EXPECT_TRUE(DecodeRaw(ReadFile(dir / "seq" / name)) == ref->first_presented[k]) << name;
  }

  // At 25 frames per second every second loading frame is shown.
  ASSERT_EQ(RunCapture({"--fps", "25", "--frames", "3", "--scale", "1", "-o",
                        (dir / "half" / "%d.png").string()}).status, 0);
  Rgb second = ReadPng(dir / "half" / "1.png");
  ASSERT_EQ(second.width, 320u);
  EXPECT_TRUE(second.pixels == Widen(ref->first_presented[2], 1));
}

TEST_F(CaptureProgram, VideoThroughFfmpegHasTheSizeLengthAndSong) {
  fs::path clip = dir / "clip.mp4";
  Result r = RunCapture({"--frames", "100", "-o", clip.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Listing(), std::vector<std::string>{"clip.mp4"});
  std::string video = Probe(clip, "stream=codec_type,width,height,nb_frames");
  EXPECT_NE(video.find("codec_type=video\nwidth=960\nheight=720\nnb_frames=100"), std::string::npos)
      << video;
  EXPECT_NE(video.find("codec_type=audio"), std::string::npos) << video;
  double duration = std::atof(Probe(clip, "format=duration").substr(9).c_str());
  EXPECT_NEAR(duration, 2.0, 0.1);
}

TEST_F(CaptureProgram, VideoFailuresLeaveNothingBehind) {
  // No song in the working folder: a silent video, and a word about it.
  fs::create_symlink(fs::absolute("fonts16.bin"), dir / "fonts16.bin");
  Result silent = RunCapture({"--frames", "5", "--scale", "1", "-o", "quiet.mkv"}, dir.string());
  ASSERT_EQ(silent.status, 0) << silent.err;
  EXPECT_NE(silent.err.find("demosong.ogg"), std::string::npos);
  EXPECT_EQ(Probe(dir / "quiet.mkv", "stream=codec_type"), "codec_type=video\n");

  Result missing = RunCapture({"--frames", "5", "-o", "none.mp4"}, dir.string(), "/nonexistent");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("\"ffmpeg\""), std::string::npos) << missing.err;

  Result refused = RunCapture({"--frames", "5", "-o", "clip.nosuchformat"}, dir.string());
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("ffmpeg"), std::string::npos) << refused.err;

  EXPECT_EQ(Listing(), (std::vector<std::string>{"fonts16.bin", "quiet.mkv"}));
}

TEST_F(CaptureProgram, AStartUpThatFailsLeavesNoTemporaryBehind) {
  // Without fonts16.bin the demo's start-up ends the run from deep inside.
  Result r = RunCapture({"--seek", "1", "-o", "moment.png"}, dir.string());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("fonts16.bin"), std::string::npos) << r.err;
  EXPECT_TRUE(Listing().empty());
}

}  // namespace
