// The program when the world around it fails: no display, no sound, a missing or damaged font
// file, Escape pressed while it loads, and 3D geometry far off screen or behind the viewer.
// The rows about the program run the real binary as a child process in a folder of its own,
// with a preloaded library that counts the frames it shows (tests/support/frame_counter.cpp).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine3d/engine3d.h"
#include "platform/demo.h"
#include "platform/platform.h"
#include "precalc/precalc.h"
#include "render3d/render3d.h"
#include "show/headless.h"
#include "show/script.h"
#include "tests/support/emulator.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<char>;
using Env = std::vector<std::pair<std::string, std::string>>;  // an empty value unsets

struct Outcome {
  bool exited = false;
  int status = -1;             // exit status when exited
  std::vector<std::string> err;  // lines on stderr
  long frames = -1;            // frames shown, -1 when the count was never written
  std::vector<std::string> way_out;  // SDL_Quit, chdir and execl calls, in order
};

// Every way out of the program: SDL closed, then the hand-off to the launcher, whose execl is
// tried even though the launcher's folder does not exist here.
const std::vector<std::string> kHandOff = {"SDL_Quit", "chdir /usr/gp2x",
                                           "execl /usr/gp2x/gp2xmenu"};

Bytes ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& p, const Bytes& b) {
  std::ofstream out(p, std::ios::binary);
  out.write(b.data(), static_cast<std::streamsize>(b.size()));
}

std::vector<std::string> Lines(const fs::path& p) {
  std::ifstream in(p);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += l + "\n";
  return s;
}

// A fresh working folder for one run of the program, removed afterwards. The assets come from
// the build folder, where the tests run.
class Sandbox {
 public:
  Sandbox() {
    std::string tmpl = (fs::temp_directory_path() / "gw-faults-XXXXXX").string();
    root_ = mkdtemp(tmpl.data()) ? tmpl : "";
    dir_ = root_ / "work";
    fs::create_directory(dir_);
  }
  ~Sandbox() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  const fs::path& root() const { return root_; }
  const fs::path& dir() const { return dir_; }
  void CopyAsset(const std::string& name) { fs::copy_file(name, dir_ / name); }
  void Put(const std::string& name, const Bytes& b) { WriteFile(dir_ / name, b); }

  // Names in the working folder, for checking that a failure left nothing behind.
  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  // Runs the demo here with its usual test settings changed by `env`.
  Outcome Run(const Env& env) const { return Exec(GW_PROGRAM, {}, env); }

  // Runs a program of the build here; its stderr and frame count are kept outside the folder.
  Outcome Exec(const char* program, const std::vector<std::string>& args, const Env& env) const {
    const fs::path err = root_ / "stderr.txt", frames = root_ / "frames.txt";
    const fs::path way_out = root_ / "way-out.txt";
    fs::remove(way_out);
    pid_t pid = fork();
    if (pid == 0) {
      if (chdir(dir_.c_str()) != 0) _exit(120);
      setenv("GLASSWHIRLIGO_VIRTUAL_CLOCK", "1", 1);
      setenv("SDL_VIDEODRIVER", "dummy", 1);
      setenv("SDL_AUDIODRIVER", "dummy", 1);
      gw_test::SetTargetEnv("LD_PRELOAD", GW_FRAME_COUNTER);
      setenv("GW_FRAME_COUNT_FILE", frames.c_str(), 1);
      setenv("GW_WAY_OUT_FILE", way_out.c_str(), 1);
      // The counter is preloaded ahead of a sanitizer run-time, which is harmless here.
      // Sanitizer options given by a case are added to those of the suite.
      std::string asan = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
      if (!asan.empty()) asan += ':';
      asan += "verify_asan_link_order=0";
      for (const auto& [k, v] : env) {
        if (k == "ASAN_OPTIONS")
          asan.append(":").append(v);
        else
          v.empty() ? unsetenv(k.c_str()) : setenv(k.c_str(), v.c_str(), 1);
      }
      setenv("ASAN_OPTIONS", asan.c_str(), 1);
      int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int null = open("/dev/null", O_WRONLY);
      if (fd < 0 || null < 0 || dup2(fd, 2) < 0 || dup2(null, 1) < 0) _exit(121);
      std::vector<std::string> words = gw_test::TargetCommand(program, args);
      std::vector<char*> argv;
      for (std::string& w : words) argv.push_back(w.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(122);
    }
    Outcome o;
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return o;
    o.exited = WIFEXITED(status);
    o.status = o.exited ? WEXITSTATUS(status) : -WTERMSIG(status);
    o.err = Lines(err);
    o.way_out = Lines(way_out);
    std::ifstream in(frames);
    if (!(in >> o.frames)) o.frames = -1;
    return o;
  }

 private:
  fs::path root_, dir_;
};

// The frames of the whole demo on the headless platform, where nothing but the clock decides
// what is shown: the loading frames, and all frames to the end of the timeline.
struct Reference {
  long loading = 0;
  long total = 0;
};

void CountFrame(const uint16_t*, uint32_t, void* user) { ++*static_cast<long*>(user); }

Reference HeadlessReference() {
  int fds[2];
  if (pipe(fds) != 0) return {};
  pid_t pid = fork();
  if (pid == 0) {
    Reference r;
    long shown = 0;
    SetFrameHook(CountFrame, &shown);
    if (StartHeadlessDemo() != nullptr) _exit(1);
    r.loading = shown;
    do {
      Script();
    } while (!quit);
    r.total = shown;
    _exit(write(fds[1], &r, sizeof r) == sizeof r ? 0 : 1);
  }
  close(fds[1]);
  Reference r;
  if (read(fds[0], &r, sizeof r) != sizeof r) r = {};
  close(fds[0]);
  waitpid(pid, nullptr, 0);
  return r;
}

class Program : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { reference = HeadlessReference(); }
  static Reference reference;
};
Reference Program::reference;

// ---- No display ----

TEST_F(Program, WithoutADisplayItSaysSoOnOneLineAndExitsWithOne) {
  Sandbox box;
  box.CopyAsset("fonts16.bin");
  // SDL probes the display libraries and unloads them again; what they leak then has no name
  // a suppression could match, so this one run goes without the leak check. A login session
  // has a runtime folder; without one a display library complains on stderr.
  Outcome o = box.Run({{"SDL_VIDEODRIVER", ""},
                       {"DISPLAY", ""},
                       {"WAYLAND_DISPLAY", ""},
                       {"XDG_RUNTIME_DIR", box.dir().string()},
                       {"ASAN_OPTIONS", "detect_leaks=0"}});
  ASSERT_TRUE(o.exited);
  EXPECT_EQ(o.status, 1);
  ASSERT_EQ(o.err.size(), 1u) << Joined(o.err);
  EXPECT_EQ(o.err[0].rfind("glasswhirligo: ", 0), 0u) << o.err[0];
  EXPECT_NE(o.err[0].find("no display"), std::string::npos) << o.err[0];
  EXPECT_EQ(o.frames, 0);
  EXPECT_EQ(o.way_out, kHandOff);
}

// ---- No sound: the demo runs silently with unchanged timing ----

TEST_F(Program, WithoutSoundItRunsTheWholeTimelineSilently) {
  ASSERT_GT(reference.total, reference.loading);
  const Bytes song = ReadFile("demosong.ogg");
  ASSERT_GT(song.size(), 1000u);
  Bytes damaged(song.begin(), song.begin() + 200);  // the stream's headers cut short
  Bytes noise(4096);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>(i * 37 + (i >> 3));
  damaged.insert(damaged.end(), noise.begin(), noise.end());

  struct Case {
    const char* what;
    const Bytes* song;  // nullptr: no song file at all
    const char* audio_driver;
    const char* says;   // in the one line on stderr
  };
  const Case cases[] = {
      {"no audio device", &song, "no-such-audio", "no audio"},
      {"missing song", nullptr, "dummy", "demosong.ogg"},
      {"damaged song", &damaged, "dummy", "demosong.ogg"},
      {"noise for a song", &noise, "dummy", "demosong.ogg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox box;
    box.CopyAsset("fonts16.bin");
    if (c.song) box.Put("demosong.ogg", *c.song);
    Outcome o = box.Run({{"SDL_AUDIODRIVER", c.audio_driver}});
    ASSERT_TRUE(o.exited) << "ended by signal " << -o.status;
    EXPECT_EQ(o.status, 0) << Joined(o.err);
    EXPECT_EQ(o.frames, reference.total);
    ASSERT_EQ(o.err.size(), 1u) << Joined(o.err);
    EXPECT_NE(o.err[0].find("running silently"), std::string::npos) << o.err[0];
    EXPECT_NE(o.err[0].find(c.says), std::string::npos) << o.err[0];
  }
}

// ---- A missing or malformed "fonts16.bin" ends the program before its first frame ----

// In a window and full-screen alike, the program closes SDL and hands off before it says why.
TEST_F(Program, ABadFontFileIsNamedOnOneLineBeforeAnythingIsShown) {
  const Bytes good = ReadFile("fonts16.bin");
  ASSERT_EQ(good.size(), 22272u);
  Bytes shorter(good.begin(), good.end() - 1);
  Bytes bad_map = good;
  bad_map['A'] = 86;
  Bytes bad_level = good;
  bad_level[256 + 256 * 40 + 7] = 16;

  struct Case {
    const char* what;
    const Bytes* file;  // nullptr: no font file
    const char* says;
  };
  const Case cases[] = {
      {"missing", nullptr, "cannot be opened"},
      {"one byte short", &shorter, "22271 bytes"},
      {"map entry past the glyphs", &bad_map, "map entry for code 65 is 86"},
      {"glyph level past 15", &bad_level, "glyph 40 row 0 column 7 holds 16"},
  };
  for (const Case& c : cases) {
    for (bool full_screen : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (full_screen ? ", full-screen" : ", windowed"));
      Sandbox box;
      if (c.file) box.Put("fonts16.bin", *c.file);
      box.CopyAsset("demosong.ogg");
      // A missing audio driver would be reported too if start-up got as far as the song.
      std::vector<std::string> args;
      if (full_screen) args.push_back("full");
      Outcome o = box.Exec(GW_PROGRAM, args, {{"SDL_AUDIODRIVER", "no-such-audio"}});
      ASSERT_TRUE(o.exited) << "ended by signal " << -o.status;
      EXPECT_EQ(o.status, 1);
      EXPECT_EQ(o.frames, 0);
      ASSERT_EQ(o.err.size(), 1u) << Joined(o.err);
      EXPECT_EQ(o.err[0].rfind("glasswhirligo: fonts16.bin: ", 0), 0u) << o.err[0];
      EXPECT_NE(o.err[0].find(c.says), std::string::npos) << o.err[0];
      EXPECT_EQ(o.way_out, kHandOff);
    }
  }
}

// Home restarts from the loading screen, which reads the font file again: had it gone bad since
// the start, the program ends as a failed start does, without another frame.
TEST_F(Program, HomeAfterTheFontFileWentBadEndsLikeAFailedStart) {
  Sandbox box;
  box.CopyAsset("fonts16.bin");
  box.CopyAsset("demosong.ogg");
  const long home_at = reference.loading + 5;
  Outcome o = box.Run({{"GW_HOME_AT_FRAME", std::to_string(home_at)},
                       {"GW_SPOIL_AT_HOME", (box.dir() / "fonts16.bin").string()}});
  ASSERT_TRUE(o.exited) << "ended by signal " << -o.status;
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.frames, home_at);
  ASSERT_EQ(o.err.size(), 1u) << Joined(o.err);
  EXPECT_EQ(o.err[0].rfind("glasswhirligo: fonts16.bin: ", 0), 0u) << o.err[0];
  EXPECT_NE(o.err[0].find("22271 bytes"), std::string::npos) << o.err[0];
  EXPECT_EQ(o.way_out, kHandOff);
}

// ---- Installed: the data folder beside the program, after the working folder ----

// The program laid out as a package installs it, beside the empty working folder of a run.
struct Installed {
  explicit Installed(const Sandbox& box)
      : program(box.root() / "games" / "glasswhirligo"),
        data(box.root() / "share" / "glasswhirligo") {
    fs::create_directories(program.parent_path());
    fs::create_directories(data);
    fs::copy_file(GW_PROGRAM, program);
  }
  fs::path program, data;
};

TEST_F(Program, InstalledItFindsItsDataBesideItselfUnlessTheWorkingFolderHasThem) {
  Sandbox box;
  Installed installed(box);
  fs::copy_file("fonts16.bin", installed.data / "fonts16.bin");
  fs::copy_file("demosong.ogg", installed.data / "demosong.ogg");
  Outcome o = box.Exec(installed.program.c_str(), {}, {{"GW_ESCAPE_AT_FRAME", "10"}});
  ASSERT_TRUE(o.exited);
  EXPECT_EQ(o.status, 0) << Joined(o.err);
  EXPECT_EQ(o.frames, reference.loading + 1);
  EXPECT_TRUE(o.err.empty()) << Joined(o.err);  // the song was found as well

  const Bytes good = ReadFile("fonts16.bin");
  box.Put("fonts16.bin", Bytes(good.begin(), good.end() - 1));
  o = box.Exec(installed.program.c_str(), {}, {});
  ASSERT_TRUE(o.exited);
  EXPECT_NE(o.status, 0);
  ASSERT_EQ(o.err.size(), 1u) << Joined(o.err);
  EXPECT_NE(o.err[0].find("22271 bytes"), std::string::npos) << o.err[0];
}

TEST_F(Program, InstalledWithoutItsDataTheFontErrorNamesEveryFolderItLookedIn) {
  Sandbox box;
  Installed installed(box);
  Outcome o = box.Exec(installed.program.c_str(), {}, {{"SDL_AUDIODRIVER", "no-such-audio"}});
  ASSERT_TRUE(o.exited);
  EXPECT_NE(o.status, 0);
  EXPECT_EQ(o.frames, 0);
  ASSERT_EQ(o.err.size(), 1u) << Joined(o.err);
  EXPECT_EQ(o.err[0].rfind("glasswhirligo: fonts16.bin: cannot be opened", 0), 0u) << o.err[0];
  for (const fs::path& folder : {box.dir(), installed.data})
    EXPECT_NE(o.err[0].find(fs::canonical(folder).string()), std::string::npos) << o.err[0];
}

// ---- Escape, or a pad's button, while the loading screen runs (its stick and hat do nothing)

TEST_F(Program, EscapeOrAPadButtonDuringLoadingEndsTheDemoAfterItsFirstFrame) {
  ASSERT_GT(reference.loading, 10);
  for (const char* press : {"GW_ESCAPE_AT_FRAME", "GW_PAD_AT_FRAME"}) {
    SCOPED_TRACE(press);
    Sandbox box;
    box.CopyAsset("fonts16.bin");
    box.CopyAsset("demosong.ogg");
    Outcome o = box.Run({{press, "10"}});
    ASSERT_TRUE(o.exited);
    EXPECT_EQ(o.status, 0) << Joined(o.err);
    EXPECT_EQ(o.frames, reference.loading + 1);
    EXPECT_TRUE(o.err.empty()) << Joined(o.err);
    EXPECT_EQ(o.way_out, kHandOff);
  }
}

// ---- The command line: any first argument selects full-screen ----

std::string VideoModeOf(const std::vector<std::string>& args) {
  Sandbox box;
  box.CopyAsset("fonts16.bin");
  const std::string mode_file = ::testing::TempDir() + "/video-mode.txt";
  std::remove(mode_file.c_str());
  Outcome o = box.Exec(GW_PROGRAM, args,
                       {{"GW_ESCAPE_AT_FRAME", "10"}, {"GW_VIDEO_MODE_FILE", mode_file}});
  EXPECT_TRUE(o.exited && o.status == 0) << Joined(o.err);
  Bytes text = ReadFile(mode_file);
  return std::string(text.begin(), text.end());
}

TEST(CommandLine, AnyArgumentSelectsFullScreenAndTheWindowIsCaptioned) {
  EXPECT_EQ(VideoModeOf({}), "320x240x16 flags=0\ncaption=Glasswhirligo by Morwick\n");
  EXPECT_EQ(VideoModeOf({"window"}),
            "320x240x16 flags=0x80000000\ncaption=Glasswhirligo by Morwick\n");
}

// ---- The capture tool: a failed output is reported and leaves no partial file ----

#ifdef GW_CAPTURE

TEST(Capture, AnOutputThatCannotBeWrittenIsNamedAndNothingIsLeft) {
  Sandbox box;
  box.CopyAsset("fonts16.bin");
  box.CopyAsset("demosong.ogg");
  box.Put("afile", {});  // a file where a folder should be: unwritable even for root
  const std::vector<std::string> before = box.Listing();
  const std::vector<std::vector<std::string>> commands = {
      {"--frames", "5", "-o", "afile/clip.mp4"},
      {"--frames", "5", "-o", "afile/%05d.png"},
      {"--seek", "1", "-o", "afile/moment.png"},
      {"--at", "2:1000:50", "-o", "afile/moment.raw"}};
  for (const auto& args : commands) {
    SCOPED_TRACE(args[args.size() - 1]);
    Outcome o = box.Exec(GW_CAPTURE, args, {});
    ASSERT_TRUE(o.exited);
    EXPECT_NE(o.status, 0);
    ASSERT_EQ(o.err.size(), 1u) << Joined(o.err);
    EXPECT_NE(o.err[0].find("afile/"), std::string::npos) << o.err[0];
    EXPECT_EQ(box.Listing(), before);
    EXPECT_EQ(fs::file_size(box.dir() / "afile"), 0u);
  }
}

// An encoder that starts writing the video and then gives up or is killed part way through, or
// takes every frame and only then fails (its exit status alone tells).
TEST(Capture, AnEncoderThatFailsFailsTheCaptureAndLeavesNoPartialVideo) {
  Sandbox box;
  box.CopyAsset("fonts16.bin");
  box.CopyAsset("demosong.ogg");
  const fs::path bin = box.dir().parent_path() / "bin";
  fs::create_directory(bin);
  const std::vector<std::string> before = box.Listing();
  const std::string starts = "#!/bin/sh\nfor a; do last=$a; done\necho partial > \"$last\"\n";
  const std::string midway = "head -c 400000 >/dev/null\n";
  const std::pair<const char*, std::string> endings[] = {
      {"gives up", midway + "echo 'encoder: giving up' >&2\nexit 1\n"},
      {"is killed", midway + "kill -9 $$\n"},
      {"ends without error", midway + "exit 0\n"},
      {"fails after the last frame",
       "cat >/dev/null\necho 'encoder: cannot finish the file' >&2\nexit 1\n"}};
  for (const auto& [what, ending] : endings) {
    SCOPED_TRACE(what);
    const std::string script = starts + ending;
    WriteFile(bin / "ffmpeg", Bytes(script.begin(), script.end()));
    fs::permissions(bin / "ffmpeg", fs::perms::owner_all);
    Outcome o = box.Exec(GW_CAPTURE, {"--frames", "300", "-o", "clip.mp4"},
                         {{"PATH", bin.string() + ":/usr/bin:/bin"}});
    ASSERT_TRUE(o.exited);
    EXPECT_NE(o.status, 0);
    ASSERT_FALSE(o.err.empty());
    EXPECT_NE(o.err.back().find("ffmpeg"), std::string::npos) << Joined(o.err);
    EXPECT_EQ(box.Listing(), before);
  }
}

#endif

// ---- Geometry off screen and behind the viewer ----

// A cube driven through the real transform onto places where its corners project far off the
// screen, land on or behind the viewer's plane (where projection leaves a corner's last screen
// position in place) or come out of the projection at the limits of 32 bits. Every mode must
// draw or skip each triangle without reading outside a table: the sanitizer build checks.
TEST(Geometry, CornersFarOffScreenOrBehindTheViewerAreDrawnOrSkippedSafely) {
  PrecDivs();
  SetColors();
  Object3d cube{};
  InitTestObject(&cube, 0);
  ASSERT_EQ(cube.npts, 8);
  static uint16_t frame[kPixels];
  const float places[][3] = {{0, 0, 256},     {0, 0, 1},       {0, 0, 0},       {0, 0, -1},
                             {0, 0, -256},    {0, 0, 64},      {0, 0, 65},      {4000, 0, 70},
                             {-9e6f, 9e6f, 2}, {3e9f, -3e9f, 100}, {0, 0, 3e9f}};
  const int32_t modes[] = {1, 2, 4, 8, 16, 32, 64, 260, 264, 272, 288, 544};
  const ScreenPoint stale[] = {{-2147483647 - 1, 2147483647, 0}, {2147483647, -5, 0}, {160, 120, 0}};
  for (const auto& place : places) {
    for (float turn : {0.0f, 0.7f, 2.0f}) {
      cube.pos_x = place[0];
      cube.pos_y = place[1];
      cube.pos_z = place[2];
      cube.rot_x = turn;
      cube.rot_y = 2 * turn;
      for (const ScreenPoint& s : stale) {
        for (int i = 0; i < cube.npts; ++i) spts[i] = s;
        Calc3d(&cube);
        for (int32_t mode : modes) {
          RenderMode = mode;
          ClearZbuffer();
          RenderOld(&cube, 5, frame);
        }
      }
    }
  }
  std::free(cube.pts);
  std::free(cube.polys);
  std::free(cube.normals);
  std::free(cube.pt_normals);
  SUCCEED();
}

}  // namespace
