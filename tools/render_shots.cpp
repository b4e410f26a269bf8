// Writes PNG pictures of the start-up objects drawn in each render mode, for looking at:
// render_shots <folder>. Raw shade outputs (modes 8 and 264) are shown through shade row 1.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine3d/engine3d.h"
#include "platform/demo.h"
#include "precalc/precalc.h"
#include "render3d/render3d.h"
#include "tools/capture/capture.h"

namespace {

bool WritePng(const std::string& path, const uint16_t* frame) {
  std::string error;
  if (WriteFrameFile(path, Format::kPng, frame, 1, 6, &error)) return true;
  std::fprintf(stderr, "%s\n", error.c_str());
  return false;
}

// A recognisable stand-in for the mirror texture: colour ramps with a grid.
void PaintMirror() {
  for (int v = 0; v < 256; ++v)
    for (int u = 0; u < 256; ++u)
      mirror[v * 256 + u] = (u % 32 == 0 || v % 32 == 0) ? 0xFFFF : Rgb565(u, v, 255 - u);
}

bool Shot(const std::string& folder, int slot, int32_t mode, float pos_z, int32_t table) {
  Object3d* obj = &object[slot];
  obj->rot_x = 0.5f, obj->rot_y = 0.8f, obj->rot_z = 0.3f;
  obj->pos_x = 0.0f, obj->pos_y = 0.0f, obj->pos_z = pos_z;
  Calc3d(obj);
  std::memset(vram, 0, sizeof vram);
  ClearZbuffer();
  RenderMode = mode;
  RenderOld(obj, table, vram);
  if (mode == 8 || mode == 264)
    for (uint16_t& p : vram) p = shades[256 + (p & 255)];
  const std::string path = folder + "/object" + std::to_string(slot) + "_mode" +
                           std::to_string(mode) + ".png";
  const bool ok = WritePng(path, vram);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : ".";
  PrecDivs();
  SetColors();
  for (int i = 0; i < 3; ++i) InitTestObject(&object[i], i);
  PaintMirror();
  bool ok = true;
  for (int32_t mode : {1, 4, 8, 16, 32, 64, 260, 264, 272, 288, 544}) ok &= Shot(folder, 0, mode, 256, 1);
  ok &= Shot(folder, 1, 544, 72, 0);
  ok &= Shot(folder, 2, 264, 128, 1);
  return ok ? 0 : 1;
}
