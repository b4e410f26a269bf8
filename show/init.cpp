// Start-up and the hand-off to the handheld's launcher, which every way out ends with. On
// Windows the window is a Win32 one, a fault is told in a message box, and there is no launcher.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/demo.h"
#include "platform/platform.h"
#include "platform/sound.h"
#include "precalc/precalc.h"
#include "show/init.h"
#include "show/loading.h"

namespace {

#ifdef _WIN32
bool OpenShowWindow(uint32_t flags) { return OpenWindowsPlatform(flags); }
const char* ShowWindowError() { return WindowsError(); }
void TellStartFault(const char* line) { TellWindowsUser(line); }
#else
bool OpenShowWindow(uint32_t flags) { return OpenSdlPlatform(flags); }
const char* ShowWindowError() { return SdlError(); }
void TellStartFault(const char* line) { std::fprintf(stderr, "glasswhirligo: %s\n", line); }
#endif

}  // namespace

void CloseShowWindow() {
#ifdef _WIN32
  CloseWindowsPlatform();
#else
  CloseSdlPlatform();
#endif
}

// Both steps in turn: a failed chdir does not keep execl from trying. A Windows desktop has no
// launcher to go back to: the program just ends.
void HandToLauncher() {
#ifndef _WIN32
  [[maybe_unused]] const int moved = chdir("/usr/gp2x");
  execl("/usr/gp2x/gp2xmenu", "/usr/gp2x/gp2xmenu", nullptr);
#endif
}

void exit2menu() {
  SoundEnd();
  HandToLauncher();
}

void StartFailed(const char* why) {
  // Kept before SDL closes: closing may replace an SDL error text that `why` points to.
  char line[256];
  std::snprintf(line, sizeof line, "%s", why);
  // A full-screen start that dies with SDL open can leave the desktop in the demo's mode.
  CloseShowWindow();
  exit2menu();
  TellStartFault(line);
  std::exit(1);
}

void Init() {
  if (!OpenShowWindow(fullscreen)) {
    char why[256];
    std::snprintf(why, sizeof why, "cannot open a 320x240 16-bit video mode: %s", ShowWindowError());
    StartFailed(why);
  }
  if (const char* fault = precalcs()) StartFailed(fault);
  SoundInit();
  PlaySong();
  partime = platform.ticks();
}
