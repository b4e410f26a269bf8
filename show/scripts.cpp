// The small per-part scripts: the three-band rotozoomer with its captions, the bouncing sine
// wipe, the credits, the transpose of the blur pass and the frame-rate display. Each keeps a
// few globals that carry its motion from frame to frame.
#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "effects/effects.h"
#include "platform/platform.h"
#include "precalc/precalc.h"
#include "show/script.h"
#include "text/text.h"

// The three-band rotozoomer of part 0: caption positions and band boundaries.
int xr1 = -256, xr2 = 384, xr3 = -128, yr = 104, yf1 = 0, yf2 = 0;

void RotoZoomerScript(uint16_t* dst) {
  uint32_t t = prticks;
  if (t <= 6143) {
    xr1 = std::min(xr1 + 2, 104);
    yf1 = 240;
  }
  if (t >= 6144 && t <= 12287) {
    xr2 = std::max(xr2 - 2, 100);
    yf1 = std::max(yf1 - 2, 120);
  }
  if (t >= 12288 && t <= 24063) {
    xr3 = std::min(xr3 + 2, 128);
    yf1 = std::max(yf1 - 1, 80);
  }
  if (t >= 24065) {  // the captions fly out without limit
    xr1 = wadd(xr1, 4);
    xr2 = wsub(xr2, 4);
    xr3 = wadd(xr3, 4);
    yf1 = std::max(yf1 - 1, 0);
    yf2 = std::min(yf2 + 1, 240);
  }
  yf1 = std::min(yf1, 240);
  if (t <= 24064) yf2 = std::min(2 * yf1, 240);
  assert(0 <= yf1 && yf1 <= yf2 && yf2 <= 240);  // the three bands stay in order

  double phase = static_cast<double>(prfrm);
  float zoom = static_cast<float>(0.2 + 0.15 * std::sin(phase / 64));
  float angle = static_cast<float>(4096 * std::sin(phase / 640));
  RotozoomerAll(dst, angle, zoom, static_cast<uint32_t>(yf1), static_cast<uint32_t>(yf2));

  if (t <= 24320) yr = sar(yf1, 1);
  const uint16_t* table = shades + 2 * 256;
  Print(xr1, yr, "Frondle?", 8, table, dst);
  Print(xr2, wmul(3, yr), "Bilinear!", 9, table, dst);
  Print(xr3, wmul(5, yr), "RGB!!!", 6, table, dst);
}

// The bouncing sine wipe of part 4: the floor, the position, its velocity and the gravity.
int bounceX = 240;
float bx = 400.0f, xu = 0.0f, xg = -0.1f;

namespace {

// One step of the bounce; returns the position to draw at. Landing exactly on the floor is
// not a bounce.
float BounceStep() {
  float s = bx + xu;
  float v = xu + xg;
  if (static_cast<float>(bounceX) > s) {
    bx = static_cast<float>(bounceX);
    xu = static_cast<float>(v * -0.5);
    return bx;
  }
  bx = s;
  xu = v;
  return s;
}

}  // namespace

void SineBufferScript() {
  uint32_t t = prticks;
  if (t > 4096) bounceX = 160;
  if (t > 8192) bounceX = 80;
  if (t > 16384) bounceX = -64;
  if (t > 20479) part = 3;
  SineBuffer(gradbuffer, ftoi(BounceStep()));
}

void BounceSineBuffer() { BounceStep(); }

// The credits of part 6: a random horizontal jitter and the accumulated phase of the wobble.
int xadj = 0, yadj = 0;

namespace {

enum class Sway { kWith, kAgainst };  // texts that move against the others use xadj + c - w

struct Credit {
  uint32_t first, last;
  Sway sway;
  int dx, y;
  const char* text;
};

// Each credit shows during an inclusive window of the part clock; between windows nothing is
// printed.
constexpr Credit kCredits[] = {
    {32768, 33790, Sway::kWith, -64, 64, "Same Font"},
    {34816, 36862, Sway::kWith, -32, 128, "Kein gfx"},
    {36864, 38910, Sway::kWith, -96, 192, "No Design"},
    {38912, 40958, Sway::kWith, -96, 160, "Glasswhirligo"},
    {40960, 43006, Sway::kWith, -128, 24, "Code"},
    {43008, 45054, Sway::kWith, 0, 192, "Morwick"},
    {45056, 49150, Sway::kAgainst, 196, 200, "Music"},
    {49152, 53246, Sway::kAgainst, 216, 128, "Marble Dunsels"},
};

}  // namespace

void TextScript1(uint16_t* buf) {
  uint32_t t = prticks;
  float w = static_cast<float>(160 + 32 * std::sin(static_cast<double>(t) / 256));
  if (t % 4 == 0) {
    yadj = wadd(yadj, 64 + DemoRand() % 64);
    xadj = ftoi(16 * std::sin(static_cast<double>(DemoRand())));
  }
  for (const Credit& c : kCredits) {
    if (t < c.first || t > c.last) continue;
    int x = c.sway == Sway::kWith ? ftoi(w) + xadj + c.dx
                                  : ftoi(static_cast<float>(xadj + c.dx) - w);
    Print8(x, c.y, c.text, static_cast<int>(std::strlen(c.text)), buf, yadj);
  }
}

// Transposes a 320 x 240 image into 240 x 320 (column x of the image becomes row x).
void FlipBitmap(const uint16_t* src, uint16_t* dst) { TransposePixels(dst, src, kHeight, kWidth); }

// The frame-rate display (nothing calls it).
uint32_t atime = 0, pfrm = 0;
int fps = 0;
char sbuffer[64] = "";

void CountFps() {
  uint32_t now = platform.ticks();
  if (now - atime > 999) {
    atime = now;
    fps = static_cast<int>(nfrm - pfrm);
    pfrm = nfrm;
  }
  std::snprintf(sbuffer, sizeof sbuffer, "  %d  ", fps);
  DrawText_(8, 16, 8, sbuffer, 16, vram);
}

void ResetScriptState() {
  xr1 = -256, xr2 = 384, xr3 = -128, yr = 104, yf1 = 0, yf2 = 0;
  bounceX = 240;
  bx = 400.0f, xu = 0.0f, xg = -0.1f;
  xadj = 0, yadj = 0;
  atime = 0, pfrm = 0;
  fps = 0;
  sbuffer[0] = '\0';
}
