// Writes one PNG per 2D effect into the given folder, for checking the pictures by eye:
// plasma, polar, the three-band rotozoomer, the blurred galaxy and the blurred blob star field.
#include <cmath>
#include <cstdio>
#include <string>

#include "effects/effects.h"
#include "platform/demo.h"
#include "platform/platform.h"
#include "precalc/precalc.h"
#include "show/script.h"
#include "tools/capture/capture.h"

namespace {

bool WritePng(const std::string& path, const uint16_t* frame) {
  std::string error;
  if (WriteFrameFile(path, Format::kPng, frame, 1, 6, &error)) return true;
  std::fprintf(stderr, "%s\n", error.c_str());
  return false;
}

void BlurPass(const uint16_t* src, uint32_t r) {
  BlurX(blurbuffer1, src, r);
  FlipBitmap(blurbuffer1, flipped);
  BlurY(blurbuffer2, flipped, r);
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = argc > 1 ? argv[1] : ".";
  UseHeadlessPlatform();
  SetColors();
  SinePrecs();
  PlasmaInit();
  PolarInit();
  RotoBitmapInit();
  InitBlob();
  Stars3dInit();
  bool ok = true;

  prfrm = 37;
  ColorPlasma(vram);
  ok &= WritePng(dir + "/plasma.png", vram);

  Polar(vram, shades);
  ok &= WritePng(dir + "/polar.png", vram);

  prfrm = 100;  // zoom near its widest, 0.35
  auto angle = static_cast<float>(4096 * std::sin(prfrm / 640.0));
  auto zoom = static_cast<float>(0.2 + 0.15 * std::sin(prfrm / 64.0));
  RotozoomerAll(vram, angle, zoom, 80, 160);
  ok &= WritePng(dir + "/rotozoomer.png", vram);

  prticks = 60000;
  ClearBlobs(gradbuffer);
  Galaxy(gradbuffer, 0, 0.0f);
  BlurPass(gradbuffer, 16);
  ShowGradBuffer(vram, blurbuffer2, shades + 8 * 256);
  ok &= WritePng(dir + "/galaxy.png", vram);

  ClearBlobs(gradbuffer);
  Galaxy(gradbuffer, 0, 0.0f);
  ShowGradBuffer(vram, gradbuffer, shades + 8 * 256);
  ok &= WritePng(dir + "/galaxy-sharp.png", vram);

  for (int i = 0; i < 400; ++i) {
    ClearBlobs(gradbuffer);
    BlobStars3d(gradbuffer, 0);
  }
  BlurPass(gradbuffer, 4);
  ShowGradBuffer(vram, blurbuffer2, shades + 8 * 256);
  ok &= WritePng(dir + "/stars.png", vram);

  ClearBlobs(gradbuffer);
  drawZoomBlob(100, 80, 3.0, 1, gradbuffer);
  drawZoomBlob(250, 200, 1.5, 0, gradbuffer);
  ShowGradBuffer(vram, gradbuffer, shades + 8 * 256);
  ok &= WritePng(dir + "/blobs.png", vram);

  if (!ok) std::fprintf(stderr, "effect_shots: could not write the pictures into %s\n", dir.c_str());
  return ok ? 0 : 1;
}
