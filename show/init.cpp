// Start-up and the hand-off to the handheld's launcher, which every way out ends with.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/demo.h"
#include "platform/platform.h"
#include "platform/sound.h"
#include "precalc/precalc.h"
#include "show/init.h"
#include "show/loading.h"

// Both steps in turn: a failed chdir does not keep execl from trying.
void HandToLauncher() {
  [[maybe_unused]] const int moved = chdir("/usr/gp2x");
  execl("/usr/gp2x/gp2xmenu", "/usr/gp2x/gp2xmenu", nullptr);
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
  CloseSdlPlatform();
  exit2menu();
  std::fprintf(stderr, "glasswhirligo: %s\n", line);
  std::exit(1);
}

void Init() {
  if (!OpenSdlPlatform(fullscreen)) {
    char why[256];
    std::snprintf(why, sizeof why, "cannot open a 320x240 16-bit video mode: %s", SdlError());
    StartFailed(why);
  }
  if (const char* fault = precalcs()) StartFailed(fault);
  SoundInit();
  PlaySong();
  partime = platform.ticks();
}
