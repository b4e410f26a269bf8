// The Windows backend's decisions, checked natively: the window's messages as requests, the
// full-screen rectangle, the frame as the window shows it, the song's place, the data folder.
#include <gtest/gtest.h>

#include <vector>

#include "platform/data_files.h"
#include "platform/demo.h"
#include "platform/platform.h"
#include "platform/song_record.h"
#include "platform/windows_rules.h"

namespace {

TEST(WindowsMessages, KeysOfTheSdlWindowTheCloseButtonAndTheRightMouseButton) {
  const struct {
    unsigned key;
    uint32_t request;
  } keys[] = {{win32::kEscape, kRequestQuit},        {win32::kSpace, kRequestPause},
              {win32::kLeft, kRequestBack},          {win32::kRight, kRequestForward},
              {win32::kPageUp, kRequestPreviousPart}, {win32::kPageDown, kRequestNextPart},
              {win32::kHome, kRequestRestart},       {win32::kF, kRequestToggleFullscreen}};
  for (const auto& k : keys) {
    EXPECT_EQ(WindowsMessageRequest(win32::kKeyDown, k.key, 1), k.request) << k.key;
    // Held down, Windows repeats the key: only the first press counts.
    EXPECT_EQ(WindowsMessageRequest(win32::kKeyDown, k.key, 1 | win32::kKeyWasDown), 0u) << k.key;
  }
  EXPECT_EQ(WindowsMessageRequest(win32::kKeyDown, 'Q', 1), 0u);
  EXPECT_EQ(WindowsMessageRequest(win32::kKeyDown, 0x26, 1), 0u);  // Up
  EXPECT_EQ(WindowsMessageRequest(win32::kClose, 0, 0), kRequestQuit);
  EXPECT_EQ(WindowsMessageRequest(win32::kRightButtonDown, 0, 0), kRequestQuit);
  EXPECT_EQ(WindowsMessageRequest(0x0201, 0, 0), 0u);  // the left button
  EXPECT_EQ(WindowsMessageRequest(0x0101, win32::kEscape, 0), 0u);  // a key let go
}

// The hit tests of winuser.h: the client area, nowhere, the caption, the borders and corners.
TEST(WindowsCursor, HiddenOverThePictureShownOverTheTitleBarAndBorders) {
  EXPECT_TRUE(CursorHiddenAt(1));
  for (unsigned hit : {0u, 2u, 3u, 8u, 9u, 10u, 11u, 12u, 13u, 14u, 15u, 16u, 17u, 18u, 20u})
    EXPECT_FALSE(CursorHiddenAt(hit)) << "hit test " << hit;
}

TEST(WindowsFullScreen, TheLargest4By3RectangleCentredBetweenBlackBars) {
  auto expect = [](int w, int h, ScreenRect want) {
    ScreenRect r = FourByThreeRect(w, h);
    EXPECT_EQ(r.x, want.x) << w << "x" << h;
    EXPECT_EQ(r.y, want.y) << w << "x" << h;
    EXPECT_EQ(r.width, want.width) << w << "x" << h;
    EXPECT_EQ(r.height, want.height) << w << "x" << h;
  };
  expect(960, 720, {0, 0, 960, 720});        // the window: no bars
  expect(1920, 1080, {240, 0, 1440, 1080});  // bars left and right
  expect(1280, 1024, {0, 32, 1280, 960});    // bars above and below
  expect(1366, 768, {171, 0, 1024, 768});
  expect(1922, 1080, {241, 0, 1440, 1080});  // odd space: the frame keeps 4:3 exactly
  expect(0, 0, {0, 0, 0, 0});                // minimised
}

uint16_t Pixel(int x, int y) { return static_cast<uint16_t>(x * 131 + y * 977); }

TEST(WindowsFrame, EveryPixelABlockOfItsColourWidenedSoThat565ComesBack) {
  std::vector<uint16_t> frame(kPixels);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) frame[y * kWidth + x] = Pixel(x, y);
  std::vector<uint32_t> out(960 * 720);
  ScaleFrame(frame.data(), out.data(), 960, 720);
  for (int y = 0; y < 720; ++y)
    for (int x = 0; x < 960; ++x) {
      const uint32_t c = out[y * 960 + x];
      const uint16_t back = Rgb565(c >> 16 & 255, c >> 8 & 255, c & 255);
      ASSERT_EQ(back, Pixel(x / 3, y / 3)) << x << "," << y;
      ASSERT_EQ(c >> 24, 0u);
    }
  // Full channels stay full, empty ones empty; the low bits repeat the top ones.
  frame[0] = 0xFFFF;
  frame[1] = 0x0000;
  frame[2] = 0xF800;
  frame[3] = 0x0841;  // red 1, green 2, blue 1
  ScaleFrame(frame.data(), out.data(), kWidth, kHeight);
  EXPECT_EQ(out[0], 0xFFFFFFu);
  EXPECT_EQ(out[1], 0x000000u);
  EXPECT_EQ(out[2], 0xFF0000u);
  EXPECT_EQ(out[3], 0x080808u);
  // Not a whole multiple: the corners still come from the frame's corners.
  std::vector<uint32_t> wide(1440 * 1080);
  ScaleFrame(frame.data(), wide.data(), 1440, 1080);
  EXPECT_EQ(wide[0], out[0]);
  EXPECT_EQ(wide[1439], out[kWidth - 1]);
  EXPECT_EQ(wide[1440 * 1079], out[kPixels - kWidth]);
  EXPECT_EQ(wide.back(), out[kPixels - 1]);
}

TEST(WindowsSong, SampleFramesAtMillisecondsWithoutOverflow) {
  EXPECT_EQ(SongFrameAt(0, 44100), 0u);
  EXPECT_EQ(SongFrameAt(1000, 22050), 22050u);
  EXPECT_EQ(SongFrameAt(63575, 44100), 2803657u);
  EXPECT_EQ(SongFrameAt(3600000, 48000), 172800000u);
}

TEST(WindowsSong, ThePlayersRecordFollowsStartsPausesSeeksAndStops) {
  SongRecord song;
  EXPECT_FALSE(song.On());
  EXPECT_EQ(song.Position(500), -1) << "never started: silent";
  song.Pause(500);
  EXPECT_FALSE(song.Paused()) << "nothing to pause";
  song.Start(1000);
  EXPECT_EQ(song.Position(1000), 0);
  EXPECT_EQ(song.Position(1250), 250);
  song.Pause(1250);
  EXPECT_TRUE(song.Paused());
  EXPECT_EQ(song.Position(9000), 250) << "a paused song stands still";
  song.Pause(9000);
  EXPECT_EQ(song.Position(9500), 250) << "a second pause changes nothing";
  song.Seek(40000, 9500);
  EXPECT_TRUE(song.Paused()) << "a seek keeps a paused song paused";
  EXPECT_EQ(song.Position(12000), 40000);
  song.Resume(12000);
  EXPECT_FALSE(song.Paused());
  EXPECT_EQ(song.Position(12100), 40100);
  song.Resume(12100);
  EXPECT_EQ(song.Position(12200), 40200) << "resuming a playing song changes nothing";
  // The clock wraps: positions still count on.
  song.Seek(100, 0xFFFFFFF0u);
  EXPECT_EQ(song.Position(0x10u), 132);
  song.Stop();
  EXPECT_EQ(song.Position(0x20u), -1);
  song.Resume(0x20u);
  EXPECT_EQ(song.Position(0x30u), -1) << "a stopped song stays silent";
  song.Seek(5000, 0x40u);
  EXPECT_EQ(song.Position(0x50u), 5016) << "a seek plays a stopped song from there";
  // Paused, stopped, then asked to resume: nothing plays, and a seek keeps it paused.
  song.Pause(0x60u);
  song.Stop();
  song.Resume(0x70u);
  song.Seek(8000, 0x80u);
  EXPECT_TRUE(song.Paused());
  EXPECT_EQ(song.Position(0x90u), 8000);
  // Home while paused: the song starts again from 0:00, playing.
  song.Start(0x100u);
  EXPECT_FALSE(song.Paused());
  EXPECT_EQ(song.Position(0x100u), 0);
  EXPECT_EQ(song.Position(0x164u), 100) << "a start after a pause plays on";
}

TEST(WindowsData, TheProgramsOwnFolderByEitherSeparator) {
  EXPECT_EQ(ProgramFolder("C:\\Demos\\Glass whirligo\\glasswhirligo.exe"), "C:\\Demos\\Glass whirligo");
  EXPECT_EQ(ProgramFolder("Z:/tmp/a b/glasswhirligo.exe"), "Z:/tmp/a b");
  EXPECT_EQ(ProgramFolder("/usr/games/glasswhirligo"), "/usr/games");
  EXPECT_EQ(ProgramFolder("glasswhirligo.exe"), "");
}

}  // namespace
