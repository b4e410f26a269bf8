// Glasswhirligo: start-up, the main loop, shut-down and the hand-off to the launcher.
#include "runtime/demo.h"
#include "runtime/init.h"
#include "runtime/platform.h"
#include "runtime/sound.h"

int main(int argc, char** argv) {
  (void)argv;
  if (argc > 1) fullscreen = 0x80000000u;  // any argument, whatever it says
  Init();
  do {
    Script();
  } while (!quit);
  CloseSdlPlatform();
  SoundEnd();
  HandToLauncher();
  return 0;
}
