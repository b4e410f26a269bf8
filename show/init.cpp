// Start-up and the hand-off to the handheld's launcher, which every way out ends with.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/demo.h"
#include "platform/platform.h"
#include "platform/sound.h"
#include "precalc/precalc.h"
#include "show/init.h"

void HandToLauncher() {
  if (chdir("/usr/gp2x") == 0) execl("/usr/gp2x/gp2xmenu", "/usr/gp2x/gp2xmenu", nullptr);
}

void exit2menu() {
  SoundEnd();
  HandToLauncher();
}

namespace {
[[noreturn]] void StartFailed(const char* what) {
  // Captured before the hand-off: releasing the audio may replace SDL's error text.
  char reason[256];
  std::snprintf(reason, sizeof reason, "%s", SdlError());
  exit2menu();
  std::fprintf(stderr, "glasswhirligo: %s: %s\n", what, reason);
  std::exit(1);
}
}  // namespace

void Init() {
  if (!OpenSdlPlatform(fullscreen)) StartFailed("cannot open a 320x240 16-bit video mode");
  precalcs();
  SoundInit();
  PlaySong();
  partime = platform.ticks();
}
