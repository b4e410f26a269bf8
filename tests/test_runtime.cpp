// The spine: pacing on the virtual clock, the part-6 exception, event draining, start-up faults.
#include <SDL.h>
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/data_files.h"
#include "platform/demo.h"
#include "platform/platform.h"
#include "platform/sound.h"
#include "precalc/precalc.h"
#include "show/script.h"
#include "tests/support/emulator.h"

namespace {

class Pacing : public ::testing::Test {
 protected:
  void SetUp() override {
    UseHeadlessPlatform();
    ResetDemoState();
    SetVirtualTicks(1000);
  }
};

TEST_F(Pacing, SpeeddownWaitsOutTheIntervalAndRestartsFromAFreshReading) {
  frametime = 995;
  speeddown(20);
  EXPECT_EQ(VirtualTicks(), 1015u);
  EXPECT_EQ(frametime, 1015u);
}

TEST_F(Pacing, ASlowFrameDoesNotWait) {
  frametime = 900;  // the frame already took 100 ms
  speeddown(20);
  EXPECT_EQ(VirtualTicks(), 1000u);
  EXPECT_EQ(frametime, 1000u);
}

TEST_F(Pacing, DifferencesWrapAround) {
  SetVirtualTicks(5);
  frametime = 0xFFFFFFF0u;  // 21 ms before
  speeddown(20);
  EXPECT_EQ(VirtualTicks(), 5u);
}

TEST_F(Pacing, MainLoopWaitsExceptInPartSix) {
  Stars3dInit();
  frametime = 1000;
  part = 6;  // paces itself with 65 ms before drawing; the loop adds nothing
  Script();
  EXPECT_EQ(VirtualTicks(), 1065u);
  EXPECT_EQ(nfrm, 1u);
  EXPECT_EQ(prfrm, 1u);
  part = 5;  // any other part: the loop waits 20 ms
  Script();
  EXPECT_EQ(VirtualTicks(), 1085u);
}

TEST_F(Pacing, QuitRequestEndsAfterTheFrame) {
  QueueHeadlessQuit();
  part = 99;  // draws nothing
  Script();
  EXPECT_EQ(quit, 1);
  EXPECT_EQ(nfrm, 1u);
}

TEST(SdlPlatform, EscapeAmongSeveralEventsIsSeenAndTheQueueDrained) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ResetDemoState();
  ASSERT_TRUE(OpenSdlPlatform(0)) << SdlError();
  SDL_Event e{};
  e.type = SDL_MOUSEMOTION;
  SDL_PushEvent(&e);
  SDL_Event esc{};
  esc.type = SDL_KEYDOWN;
  esc.key.keysym.sym = SDLK_ESCAPE;
  SDL_PushEvent(&esc);
  SDL_PushEvent(&e);
  part = 99;
  Script();
  EXPECT_EQ(quit, 1);
  SDL_Event left;
  EXPECT_EQ(SDL_PollEvent(&left), 0);
  CloseSdlPlatform();
  UseHeadlessPlatform();
}

TEST(SdlPlatform, CloseButtonEndsLikeEscape) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  ResetDemoState();
  ASSERT_TRUE(OpenSdlPlatform(0)) << SdlError();
  SDL_Event e{};
  e.type = SDL_QUIT;
  SDL_PushEvent(&e);
  CheckJoy();
  EXPECT_EQ(quit, 1);
  CloseSdlPlatform();
  UseHeadlessPlatform();
}

// A handheld's pad: any button ends the demo like Escape, whatever its number; the sticks,
// hats and balls, and a button let go, ask for nothing. No pad is attached here: the events
// take the queue's path all the same.
TEST(SdlPlatform, AnyPadButtonEndsLikeEscapeAndTheRestOfThePadDoesNothing) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  ResetDemoState();
  ASSERT_TRUE(OpenSdlPlatform(0)) << SdlError();
  for (Uint8 type : {SDL_JOYAXISMOTION, SDL_JOYHATMOTION, SDL_JOYBALLMOTION, SDL_JOYBUTTONUP}) {
    SDL_Event e{};
    e.type = type;
    SDL_PushEvent(&e);
  }
  EXPECT_EQ(platform.poll(), 0u);
  for (Uint8 button : {0, 9, 31}) {
    quit = 0;
    SDL_Event e{};
    e.type = SDL_JOYBUTTONDOWN;
    e.jbutton.button = button;
    e.jbutton.state = SDL_PRESSED;
    SDL_PushEvent(&e);
    CheckJoy();
    EXPECT_EQ(quit, 1) << "button " << int{button};
  }
  CloseSdlPlatform();
  UseHeadlessPlatform();
}

// The window's keys and buttons, one at a time: each asks for its own request and nothing else;
// keys let go, other keys and the other mouse buttons ask for nothing.
TEST(SdlPlatform, EachKeyAndTheRightButtonAskForTheirOwnRequest) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  ResetDemoState();
  ASSERT_TRUE(OpenSdlPlatform(0)) << SdlError();
  auto key = [](Uint8 type, SDLKey sym) {
    SDL_Event e{};
    e.type = type;
    e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.sym = sym;
    return e;
  };
  auto button = [](Uint8 type, Uint8 which) {
    SDL_Event e{};
    e.type = type;
    e.button.button = which;
    e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    return e;
  };
  const struct {
    const char* what;
    SDL_Event event;
    uint32_t asks;
  } cases[] = {
      {"Space", key(SDL_KEYDOWN, SDLK_SPACE), kRequestPause},
      {"Left", key(SDL_KEYDOWN, SDLK_LEFT), kRequestBack},
      {"Right", key(SDL_KEYDOWN, SDLK_RIGHT), kRequestForward},
      {"Page Up", key(SDL_KEYDOWN, SDLK_PAGEUP), kRequestPreviousPart},
      {"Page Down", key(SDL_KEYDOWN, SDLK_PAGEDOWN), kRequestNextPart},
      {"Home", key(SDL_KEYDOWN, SDLK_HOME), kRequestRestart},
      {"F", key(SDL_KEYDOWN, SDLK_f), kRequestToggleFullscreen},
      {"Escape", key(SDL_KEYDOWN, SDLK_ESCAPE), kRequestQuit},
      {"right button", button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT), kRequestQuit},
      {"right button let go", button(SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT), 0},
      {"left button", button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT), 0},
      {"middle button", button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE), 0},
      {"A", key(SDL_KEYDOWN, SDLK_a), 0},
      {"Space let go", key(SDL_KEYUP, SDLK_SPACE), 0},
      {"Escape let go", key(SDL_KEYUP, SDLK_ESCAPE), 0},
  };
  for (const auto& c : cases) {
    SDL_Event e = c.event;
    ASSERT_EQ(SDL_PushEvent(&e), 0) << c.what;
    EXPECT_EQ(platform.poll(), c.asks) << c.what;
  }
  // Several in one drain: all of them.
  for (SDL_Event e : {key(SDL_KEYDOWN, SDLK_HOME), button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT),
                      key(SDL_KEYDOWN, SDLK_RIGHT)})
    SDL_PushEvent(&e);
  EXPECT_EQ(platform.poll(), kRequestRestart | kRequestForward);
  CloseSdlPlatform();
  UseHeadlessPlatform();
}

// A paused show sleeps in wait: an event already queued, or one that comes while it sleeps,
// ends the wait, and wait answers with that event's request; the queue is then empty.
TEST(SdlPlatform, WaitReturnsTheRequestOfTheEventThatWokeIt) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  ResetDemoState();
  ASSERT_TRUE(OpenSdlPlatform(0)) << SdlError();
  SDL_Event down{};
  down.type = SDL_KEYDOWN;
  down.key.keysym.sym = SDLK_PAGEDOWN;
  SDL_PushEvent(&down);
  EXPECT_EQ(platform.wait(), kRequestNextPart);
  std::thread presser([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    SDL_Event space{};
    space.type = SDL_KEYDOWN;
    space.key.keysym.sym = SDLK_SPACE;
    SDL_PushEvent(&space);
  });
  EXPECT_EQ(platform.wait(), kRequestPause);
  presser.join();
  EXPECT_EQ(platform.poll(), 0u);
  CloseSdlPlatform();
  UseHeadlessPlatform();
}

// The pacing wait on the real clock: each wait ends at or after its moment, and sleeps for most
// of it. Loose on purpose: a busy machine may wake the thread late, which only lowers its share
// of the processor.
double ThreadCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

TEST(SdlPlatform, PacingWaitsEndAtTheirMomentAndSleepMostOfTheTime) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  unsetenv("GLASSWHIRLIGO_VIRTUAL_CLOCK");
  ResetDemoState();
  ASSERT_TRUE(OpenSdlPlatform(0)) << SdlError();
  const auto wall_from = std::chrono::steady_clock::now();
  const double cpu_from = ThreadCpuSeconds();
  for (int i = 0; i < 8; ++i) {
    const uint32_t until = platform.ticks() + 20;
    platform.idle(until);
    const uint32_t now = platform.ticks();
    EXPECT_GE(static_cast<int32_t>(now - until), 0) << "wait " << i << " ended early";
  }
  frametime = platform.ticks();
  for (int i = 0; i < 8; ++i) {
    const uint32_t from = frametime;
    speeddown(20);
    EXPECT_GE(frametime - from, 20u) << "frame " << i;
  }
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_from).count();
  const double cpu = ThreadCpuSeconds() - cpu_from;
  EXPECT_GE(wall, 0.16);
  EXPECT_LT(cpu, wall / 3) << "busy for " << cpu << " s of " << wall << " s";
  CloseSdlPlatform();
  UseHeadlessPlatform();
}

// The data folder installed with the program sits beside its bin/ or games/ folder.
TEST(DataFiles, TheInstalledFolderIsShareBesideTheProgramsFolder) {
  EXPECT_EQ(InstalledDataFolder("/usr/games/glasswhirligo"), "/usr/share/glasswhirligo");
  EXPECT_EQ(InstalledDataFolder("/opt/gw/bin/glasswhirligo"), "/opt/gw/share/glasswhirligo");
  EXPECT_EQ(InstalledDataFolder("/opt/./gw/x/../bin/glasswhirligo"), "/opt/gw/share/glasswhirligo");
  EXPECT_EQ(InstalledDataFolder(""), "");
}

TEST(Sound, MissingSongLeavesTheDemoSilent) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ASSERT_EQ(SDL_Init(SDL_INIT_AUDIO), 0);
  std::string dir = ::testing::TempDir() + "/nosong";
  ASSERT_EQ(system(("mkdir -p " + dir).c_str()), 0);
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);
  SoundInit();
  EXPECT_FALSE(SongLoaded());
  PlaySong();
  SoundEnd();
  ASSERT_EQ(chdir(old), 0);
  SDL_Quit();
}

// The song sits in the build folder, but without a device there is nothing to play it on.
TEST(Sound, WithoutAnAudioDeviceTheSongIsNotLoaded) {
  ASSERT_EQ(access("demosong.ogg", R_OK), 0) << "run from the build folder";
  setenv("SDL_AUDIODRIVER", "no-such-audio", 1);
  SoundInit();
  EXPECT_FALSE(SongLoaded());
  SoundEnd();
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  SDL_Quit();
}

TEST(Program, FailedStartUpExitsWithOneClearLine) {
  std::string cmd = "SDL_VIDEODRIVER=no-such-driver SDL_AUDIODRIVER=dummy " +
                    gw_test::TargetShellPrefix() + "./glasswhirligo 2>startup.err";
  int status = system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  FILE* f = fopen("startup.err", "r");
  ASSERT_NE(f, nullptr);
  char line[512] = {};
  ASSERT_NE(fgets(line, sizeof line, f), nullptr);
  fclose(f);
  EXPECT_NE(std::string(line).find("glasswhirligo:"), std::string::npos) << line;
}

}  // namespace
