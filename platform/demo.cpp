// The pacing wait, the presentation of a frame and the spine's globals.
#include "platform/demo.h"

#include "platform/platform.h"

uint16_t vram[kPixels];

uint32_t fullscreen = 0;
int quit = 0;
int part = 6;
uint32_t partime = 0;
uint32_t prticks = 0;
uint32_t frametime = 0;
uint32_t nfrm = 0;
uint32_t prfrm = 0;

uint32_t randstate = 0x2545f491u;

void ResetDemoState() {
  quit = 0;
  part = 6;
  partime = prticks = frametime = 0;
  nfrm = prfrm = 0;
  randstate = 0x2545f491u;
}

int DemoRand() {
  // xorshift32: cheap, and its low bits are as good as its high bits (the loading screen's
  // noise keeps only the lowest five).
  uint32_t x = randstate;
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  randstate = x;
  return static_cast<int>(x & 0x7fffffffu);
}

void Flip() { platform.present(vram); }

void speeddown(uint32_t ms) {
  for (;;) {
    uint32_t now = platform.ticks();
    if (now - frametime >= ms) break;
    platform.idle(frametime + ms);
  }
  frametime = platform.ticks();
}
