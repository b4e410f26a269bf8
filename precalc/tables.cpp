// The effect tables: everything the 2D effects and the polygon fillers would otherwise compute
// per pixel (sines, reciprocals, square roots, arctangents) is tabulated here once. The polar
// map is the only costly build, so it shows loading frames while it runs.
#include <cmath>

#include "data/assets.h"
#include "platform/demo.h"
#include "precalc/precalc.h"

namespace {
// Angles are converted with this value throughout the demo, not with pi.
constexpr double kAnglePi = 3.14151693;
}  // namespace

void (*loading_frame)() = nullptr;

void LoadingFrame() {
  if (loading_frame) loading_frame();
}

int32_t fsin1[320];
int32_t fsin2[448];
int32_t fsin3[760];
int32_t fsin4[240];
int32_t fsin5[290];

void MakeSines(int32_t* table, int count, float divisor, float amplitude, float offset) {
  for (int i = 0; i < count; ++i) {
    // The quotient is a float; only the sine itself is taken in double precision.
    float phase = static_cast<float>(i) / divisor;
    table[i] = ftoi(offset + amplitude * std::sin(static_cast<double>(phase)));
  }
}

void SinePrecs() {
  MakeSines(fsin1, 320, 64, 256, 256);
  LoadingFrame();
  MakeSines(fsin2, 448, 48, 128, 128);
  LoadingFrame();
  MakeSines(fsin3, 760, 16, 64, 64);
  LoadingFrame();
  MakeSines(fsin4, 240, 24, 16, 16);
  LoadingFrame();
  MakeSines(fsin5, 290, 8, 12, 12);
  LoadingFrame();
}

// 16.16 reciprocals for the fillers' edge and span steps, read through pdiv + 4096 with a
// signed difference, so that no filler divides.
int32_t pdiv[8192];

void PrecDivs() {
  for (int i = 0; i < 8192; ++i) pdiv[i] = i == 4096 ? 65536 : 65536 / (i - 4096);
  LoadingFrame();
}

// Triangle wave that turns the plasma's summed sines into a colour index without a jump.
int32_t fpal[512];

void PlasmaInit() {
  for (int i = 0; i < 256; ++i) {
    fpal[i] = i;
    fpal[256 + i] = 255 - i;
  }
  LoadingFrame();
}

// (distance, angle) of every screen pixel seen from the centre: the polar effect becomes two
// lookups per pixel.
uint16_t dist_angle[153600];

namespace {
void PolarRow(int y) {
  uint16_t* pair = dist_angle + (y + 120) * 2 * kWidth;
  for (int x = -160; x < 160; ++x) {
    double radius = std::sqrt(static_cast<double>(x * x + y * y));
    int32_t distance = radius == 0 ? 0 : ftoi(8192 / radius);
    int32_t angle = ftoi(std::atan2(static_cast<double>(y), static_cast<double>(x)) * 256 / kAnglePi);
    *pair++ = static_cast<uint16_t>(distance);
    *pair++ = static_cast<uint16_t>(static_cast<uint32_t>(angle) & 255u);
  }
}
}  // namespace

void PolarInit() {
  for (int y = -120; y < 120; ++y) {
    PolarRow(y);
    if ((y + 120) % 32 == 0) LoadingFrame();
  }
}

// Grey copy of the rotozoomer picture, for the rotozoomer's grey band.
uint8_t gradbmp[16384];

void RotoBitmapInit() {
  for (int i = 0; i < 16384; ++i) gradbmp[i] = static_cast<uint8_t>(GreyLevel(dracul[i]));
  LoadingFrame();
}

// A soft round sprite that falls off as the inverse fourth power of the distance.
uint8_t blob[4096];

void InitBlob() {
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      int squared = (x - 32) * (x - 32) + (y - 32) * (y - 32);
      double d = squared == 0 ? 0.0625 : squared;
      int32_t level = ftoi(1048576 / (d * d));
      blob[y * 64 + x] = static_cast<uint8_t>(level > 255 ? 255 : level);
    }
  }
}

// Star fields. Integer quotients and remainders are taken before the conversion to float,
// which makes the speeds whole numbers (plus a half for the 2D field).
float star3dx[512], star3dy[512], star3dz[512], star3dv[512];
float starx[256], stary[256], starz[256], starv[256], starw[256];
int scsize = 64;
int starfar = 4096;

void Stars3dInit() {
  for (int i = 0; i < 512; ++i) {
    star3dx[i] = static_cast<float>(DemoRand() % scsize - scsize / 2);
    star3dy[i] = static_cast<float>(DemoRand() % scsize - scsize / 2);
    star3dz[i] = static_cast<float>(starfar / 1.1);
    star3dv[i] = static_cast<float>((DemoRand() % 4096) / 512 + 4);
  }
}

void Stars2dInit() {
  for (int i = 0; i < 256; ++i) {
    starx[i] = static_cast<float>(DemoRand() % 320);
    stary[i] = static_cast<float>(DemoRand() % 240);
    starz[i] = static_cast<float>((DemoRand() % 4096) / 16384 + 0.1);
    starv[i] = static_cast<float>((DemoRand() % 4096) / 512 + 0.5);
    starw[i] = static_cast<float>(DemoRand() % 16 + 8);
  }
}
