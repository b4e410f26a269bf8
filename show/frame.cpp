// The frame routine: draw, show, pace, poll.
#include "platform/demo.h"
#include "platform/platform.h"
#include "show/script.h"

void CheckJoy() {
  if (platform.poll() & kRequestQuit) quit = 1;
}

void Script() {
  Parts();
  Flip();
  if (part != 6) speeddown(20);
  CheckJoy();
  ++nfrm;
  ++prfrm;
}
