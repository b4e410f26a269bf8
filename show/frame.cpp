// The frame routine: draw, show, pace, poll.
#include "platform/demo.h"
#include "platform/platform.h"
#include "show/player.h"
#include "show/script.h"

// Escape and the close button end the show; the player answers the rest between frames.
void CheckJoy() {
  uint32_t requests = platform.poll();
  if (requests & kRequestQuit) quit = 1;
  pending_requests |= requests & ~kRequestQuit;
}

void Script() {
  Parts();
  Flip();
  if (part != 6) speeddown(20);
  CheckJoy();
  ++nfrm;
  ++prfrm;
}
