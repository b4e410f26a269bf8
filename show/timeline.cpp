// The timeline of parts: which part runs, with which effects, at which times. The part clock
// is read once per frame; every window is an inclusive range of it, and every transition
// tests a lower bound only, so a slow frame can skip a window but never a transition.
#include <algorithm>
#include <cassert>
#include <cmath>

#include "effects/effects.h"
#include "engine3d/engine3d.h"
#include "platform/platform.h"
#include "precalc/precalc.h"
#include "show/loading.h"
#include "show/script.h"
#include "text/text.h"

uint16_t screen1[kPixels];
uint16_t screen2[kPixels];
uint16_t gradbuffer[kPixels];
uint16_t blurbuffer1[kPixels];
uint16_t blurbuffer2[kPixels];
uint16_t flipped[kPixels];

int xt1 = -128;
int xt2 = 480;

void ResetTimelineState() {
  xt1 = -128;
  xt2 = 480;
}

namespace {

const uint16_t* ShadeRow(int k) { return shades + 256 * k; }

bool Within(uint32_t t, uint32_t first, uint32_t last) { return t >= first && t <= last; }

// Separable box blur: the vertical half reads the transposed image row by row.
void BlurPass(const uint16_t* src, uint32_t r) {
  assert(r <= 119);
  BlurBothWays(blurbuffer1, flipped, blurbuffer2, src, r);  // BlurX, FlipBitmap, BlurY
}

void WhiteOut(uint32_t level) {
  CrossfadeToColor(screen1, vram, 255, 255, 255, static_cast<int>(level));
  Screen1toVram();
}

// Read after the frame has been drawn, so the next part starts near t = 0.
void RestartClock() { partime = platform.ticks(); }

float RotoAngle() { return static_cast<float>(4096 * std::sin(prfrm / 640.0)); }
float RotoZoom() { return static_cast<float>(0.2 + 0.15 * std::sin(prfrm / 64.0)); }

// Stars and credits; paces itself, the main loop does not wait in this part.
void StarsAndCredits(uint32_t t) {
  uint32_t radius = t <= 16383 ? 9 : 9 - ((t - 16384) >> 10);
  if (Within(t, 24576, 28671)) scsize = static_cast<int>(64 + ((t - 24576) >> 1));
  uint16_t* shown;
  if (t <= 24575) {
    speeddown(65);
    BlobStars3d(gradbuffer, 0);
    BlurPass(gradbuffer, radius);
    shown = blurbuffer2;
  } else {
    speeddown(40);
    BlobStars3d(gradbuffer, 0);
    shown = gradbuffer;
  }
  // The credits are printed into the buffer that is shown, blurred or not.
  TextScript1(shown);
  ShowGradBuffer(vram, shown, ShadeRow(8));
  ClearBlobs(gradbuffer);
  if (Within(t, 61440, 63487)) WhiteOut((63487 - t) >> 3);
  if (t >= 63488) {
    WhiteOut(0);
    part = 2;
    prfrm = 0;
    RestartClock();
  }
}

void PolarAndMirrorCube(uint32_t t) {
  if (t <= 20479) {
    Polar(vram, ShadeRow(0));
    RunScene3d(vram, 1);
  }
  if (t <= 1023) CrossfadeToColor(vram, vram, 255, 255, 255, static_cast<int>(t >> 2));
  if (Within(t, 20480, 24575)) {
    Polar(screen1, ShadeRow(0));
    RotozoomerNearest(screen2, RotoAngle(), RotoZoom());
    Crossfade(vram, screen1, screen2, static_cast<int>((24575 - t) >> 4));
  }
  if (t >= 24576) {  // this frame shows the previous picture once more
    part = 0;
    RestartClock();
  }
}

void ThreeBandRotozoomer(uint32_t t) {
  RotoZoomerScript(vram);
  if (Within(t, 32769, 34815)) WhiteOut((34815 - t) >> 3);
  if (t >= 34816) {
    WhiteOut(0);
    part = 1;
    prfrm = 0;
    RestartClock();
  }
}

void PrintBilinearTexture() {
  Print(xt1, 16, "Bilinear", 8, ShadeRow(3), vram);
  Print(xt2, 208, "Texture", 7, ShadeRow(3), vram);
}

void PlasmaAndBilinearCube(uint32_t t) {
  if (t <= 1023) {
    ColorPlasma(screen1);
    ClearBlobs(screen2);
    drawZoomBlob(160, 120, (1024.0 - t) / 32, 1, screen2);
    CrossfadeToColorTable2(vram, screen1, 255, 255, 255, screen2);
  } else {
    ColorPlasma(vram);
    RunScene3d(vram, 0);
  }
  if (Within(t, 6145, 20479)) {
    xt1 = std::min(xt1 + 3, 24);
    xt2 = std::max(xt2 - 3, 192);
    PrintBilinearTexture();
  }
  if (t >= 20480) {
    xt2 -= 2;
    xt1 += 2;
    PrintBilinearTexture();
  }
  if (t >= 28672) {
    part = 4;
    RestartClock();
  }
}

// Plasma seen through the stars and the bouncing sine wipe; the script hands over to part 3.
void PlasmaThroughStars() {
  ColorPlasma(screen1);
  ClearScreen(gradbuffer);
  RunScene3d(gradbuffer, 2);
  SineBufferScript();
  CrossfadeToColorTable(vram, screen1, 0, 0, 0, gradbuffer);
}

void GalaxyThroughBlur(uint16_t* dst, uint32_t radius, float depth) {
  ClearBlobs(gradbuffer);
  Galaxy(gradbuffer, 0, depth);
  BlurPass(gradbuffer, radius);
  ShowGradBuffer(dst, blurbuffer2, ShadeRow(8));
}

void ColouredStars(uint32_t t) {
  if (Within(t, 20480, 24575)) {
    ColorPlasma(screen1);
    ClearScreen(gradbuffer);
    RunScene3d(gradbuffer, 2);
    CrossfadeToColorTable(screen1, screen1, 0, 0, 0, gradbuffer);
    ShowGradBuffer(screen2, gradbuffer, ShadeRow(1));
    Crossfade(vram, screen1, screen2, static_cast<int>((24575 - t) >> 4));
  } else {
    ClearScreen(gradbuffer);
    RunScene3d(gradbuffer, 2);
    ShowGradBuffer(vram, gradbuffer, ShadeRow(1));
  }
  if (t >= 32768) {
    auto radius = static_cast<uint32_t>((std::sin((t - 32768) / 512.0) * 7 + 8) * 2 + 1);
    BlurPass(gradbuffer, radius);
    ShowGradBuffer(vram, blurbuffer2, ShadeRow(1));
  }
  if (Within(t, 49152, 53247)) {
    BlurPass(gradbuffer, 24);  // the breathing radius at t = 49152
    ShowGradBuffer(screen1, blurbuffer2, ShadeRow(1));
    GalaxyThroughBlur(screen2, 16, 0.0f);
    Crossfade(vram, screen1, screen2, static_cast<int>((53247 - t) >> 4));
  }
  if (t >= 53248) {
    GalaxyThroughBlur(vram, 16, 0.0f);
    part = 7;
  }
}

void GalaxyFinale(uint32_t t) {
  if (Within(t, 53248, 81919)) {
    uint32_t radius = std::min<uint32_t>(16, std::max<uint32_t>(1, (81920 - t) >> 10));
    GalaxyThroughBlur(vram, radius, static_cast<float>((t - 53248) >> 5));
  }
  if (Within(t, 73728, 81919))
    CrossfadeToColor(vram, vram, 0, 0, 0, static_cast<int>((81919 - t) >> 5));
  if (t >= 81920) CrossfadeToColor(vram, vram, 0, 0, 0, 0);
  if (t >= 86016) quit = 1;
}

}  // namespace

void Parts() {
  uint32_t t = platform.ticks() - partime;
  prticks = t;
  switch (part) {
    case 6: StarsAndCredits(t); break;
    case 2: PolarAndMirrorCube(t); break;
    case 0: ThreeBandRotozoomer(t); break;
    case 1: PlasmaAndBilinearCube(t); break;
    case 4: PlasmaThroughStars(); break;
    case 3: ColouredStars(t); break;
    case 7: GalaxyFinale(t); break;
    default: break;
  }
}
