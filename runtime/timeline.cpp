// The timeline of parts: which part runs, with which effects, at which times.
#include "runtime/script.h"

uint16_t screen1[kPixels];
uint16_t screen2[kPixels];
uint16_t gradbuffer[kPixels];
uint16_t blurbuffer1[kPixels];
uint16_t blurbuffer2[kPixels];
uint16_t flipped[kPixels];

int xt1 = -128;
int xt2 = 480;

void Parts() {}
