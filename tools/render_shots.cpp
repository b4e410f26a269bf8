// Writes PNG pictures of the start-up objects drawn in each render mode, for looking at:
// render_shots <folder>. Raw shade outputs (modes 8 and 264) are shown through shade row 1.
#include <png.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine3d/engine3d.h"
#include "precalc/precalc.h"
#include "render3d/render3d.h"
#include "runtime/demo.h"

namespace {

bool WritePng(const std::string& path, const uint16_t* pixels) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<uint8_t> row(kWidth * 3);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const uint16_t p = pixels[y * kWidth + x];
      row[x * 3] = static_cast<uint8_t>((p >> 11) << 3);
      row[x * 3 + 1] = static_cast<uint8_t>(((p >> 5) & 63) << 2);
      row[x * 3 + 2] = static_cast<uint8_t>((p & 31) << 3);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
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
