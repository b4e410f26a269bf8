// The loading screen shown between the table builds: the grey logo turning over blue row
// noise, and the fade to black at the end. The cost is one filtered rotozoom per frame.
#include <cmath>
#include <cstring>

#include "data/assets.h"
#include "effects/effects.h"
#include "platform/demo.h"
#include "precalc/precalc.h"
#include "show/loading.h"
#include "show/script.h"
#include "text/text.h"

uint8_t FrondleGrad[16384];

void initFrondle() {
  for (int i = 0; i < 16384; ++i) FrondleGrad[i] = static_cast<uint8_t>(GreyLevel(frondle[i]));
}

void EffectsInit() {
  loading_frame = Frondle;
  initFrondle();
  Frondle();
  SinePrecs();
  PrecDivs();
  PlasmaInit();
  PolarInit();
  RotoBitmapInit();
  InitBlob();
  Stars2dInit();
  Stars3dInit();
}

// Counts the loading frames; the logo's rotation follows it, so it keeps turning smoothly
// from one build step to the next.
int more = 0;

void Frondle() {
  for (int frame = 0; frame < 4; ++frame) {
    RotozoomerFiltered(screen1, FrondleGrad, static_cast<float>(more * 32), 0.25f);
    PrintNormal(136, 216, "Frondling..", 11, shades + 1280, screen1);
    Screen1toVram();
    Flip();
    speeddown(20);
    ++more;
  }
}

namespace {
// Bilinear sample of a 128 x 128 grey bitmap at 16.16 coordinates. Coordinates past the last
// full cell, negative ones included (they are huge as unsigned), stick to cell 126, so the
// right and lower neighbours are always inside the bitmap.
int FilteredTexel(const uint8_t* bitmap, int32_t u, int32_t v) {
  uint32_t column = static_cast<uint32_t>(u) >> 16;
  uint32_t row = static_cast<uint32_t>(v) >> 16;
  if (column > 126) column = 126;
  if (row > 126) row = 126;
  int32_t fu = u & 0xFFFF;
  int32_t fv = v & 0xFFFF;
  const uint8_t* cell = bitmap + row * 128 + column;
  int32_t p00 = cell[0], p01 = cell[1], p10 = cell[128], p11 = cell[129];
  int32_t top = p00 + sar(wmul(p01 - p00, fu), 16);
  int32_t bottom = p10 + sar(wmul(p11 - p10, fu), 16);
  return top + sar(wmul(bottom - top, fv), 16);
}
}  // namespace

void RotozoomerFiltered(uint16_t* dst, const uint8_t* bitmap, float angle, float zoom) {
  double radians = static_cast<double>(angle) / 180 / 3.14151693;
  int32_t dc = ftoi(std::cos(radians) * zoom * 65536);
  int32_t ds = ftoi(std::sin(radians) * zoom * 65536);

  // All of a frame's random numbers are drawn before any pixel: one blue level per row.
  uint16_t noise[kHeight];
  for (int y = 0; y < kHeight; ++y) noise[y] = static_cast<uint16_t>(DemoRand() & 31);

  // The bitmap centre sits on the screen's top-left corner and the picture turns about it.
  int32_t ur = 64 * 65536, vr = 64 * 65536;
  for (int y = 0; y < kHeight; ++y) {
    ur = wsub(ur, ds);
    vr = wadd(vr, dc);
    int32_t u = ur, v = vr;
    uint16_t* out = dst + y * kWidth;
    for (int x = 0; x < kWidth; ++x) {
      u = wadd(u, dc);
      v = wadd(v, ds);
      int value = FilteredTexel(bitmap, u, v);
      out[x] = value > 48 ? static_cast<uint16_t>(((value >> 3) << 11) | ((value >> 2) << 5) | (value >> 3))
                          : noise[y];
    }
  }
}

void Vram2screen2() { std::memcpy(screen2, vram, sizeof screen2); }

void Screen1toVram() { std::memcpy(vram, screen1, sizeof vram); }

void FadeoutInit() {
  for (int i = 0; i < 256; ++i) {
    CrossfadeToColor(vram, screen2, 0, 0, 0, 255 - i);
    Flip();
  }
}
