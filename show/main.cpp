// Glasswhirligo: start-up, the main loop, shut-down and the hand-off to the launcher.
#include "platform/demo.h"
#include "platform/platform.h"
#include "platform/sound.h"
#include "show/init.h"
#include "show/player.h"
#include "show/script.h"

int main(int argc, char** argv) {
  (void)argv;
  if (argc > 1) fullscreen = 0x80000000u;  // any argument, whatever it says
  Init();
  StartPlayer();
  do {
    Script();
    AnswerRequests();
  } while (!quit);
  if (const char* fault = RestartFault()) StartFailed(fault);
  CloseShowWindow();
  SoundEnd();
  HandToLauncher();
  return 0;
}
