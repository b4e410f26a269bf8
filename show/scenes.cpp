// The 3D scenes: each places one start-up object by the part clock and hands it to the
// renderer. Motion is a pure function of the clock; only the mirror texture carries over.
#include <cmath>

#include "engine3d/engine3d.h"
#include "platform/demo.h"
#include "render3d/render3d.h"
#include "show/scenes.h"

namespace {

void DrawObject(Object3d* obj, int32_t mode, int32_t table, uint16_t* buffer) {
  Calc3d(obj);
  RenderMode = mode;
  RenderOld(obj, table, buffer);
}

}  // namespace

void ShowCubeBilinear(uint16_t* buffer) {
  Object3d* o = &object[1];
  uint32_t t = prticks;
  o->pos_z = static_cast<float>(72 + 8 * std::sin(t / 768.0));
  o->rot_y = static_cast<float>(t / 2048.0);
  o->rot_x = static_cast<float>(t / 1512.0);
  o->pos_y = t < 4096 ? static_cast<float>((4096 - t) >> 3) : 0.0f;
  if (t > 20479) o->pos_z = o->pos_z + static_cast<float>((t - 20480) >> 1);
  DrawObject(o, 544, 0, buffer);
}

void ShowCubeMirror(uint16_t* buffer) {
  Object3d* o = &object[0];
  double t = prticks;
  o->pos_z = static_cast<float>(std::sin(t / 384) * 32 + 256);
  o->rot_x = static_cast<float>(-t / 2048);
  o->rot_y = static_cast<float>(-t / 768);
  o->rot_z = static_cast<float>(-t / 1024);
  if (prticks > 16383) {
    // 42.666... is 16384 / 384: the depth carries on from the formula above without a jump.
    o->pos_z = static_cast<float>((t - 16384) * 0.25 + std::sin(42.666666666666664) * 32 + 256);
    o->pos_y = static_cast<float>(0.25 * (16384 - t));
  }
  DrawObject(o, 32, 0, buffer);
}

void Screen2Texture(uint16_t* buffer) {
  for (int y = 0; y < 239; ++y)
    for (int x = 40; x < 280; ++x) mirror[y * 256 + x - 32] = buffer[y * kWidth + x];
}

namespace {

void PlaceStar(Object3d* o, int k, float f) {
  float d = (static_cast<float>(k) + 8 * f) * 16;
  o->pos_x = static_cast<float>(96 * std::sin(static_cast<double>(d / 45)));
  o->pos_y = static_cast<float>(64 * std::sin(static_cast<double>(d / 35)));
  o->pos_z = static_cast<float>(256 * std::sin(static_cast<double>(d / 128)) + 384);
  o->rot_x = static_cast<float>((1 + std::sin(k / 24.0)) * 4 * f);
  o->rot_y = static_cast<float>((1 + std::sin(k / 32.0)) * 2 * f);
  o->rot_z = static_cast<float>((1 + std::sin(k / 16.0)) * f);
}

}  // namespace

void StarShow(uint16_t* buffer) {
  float f = static_cast<float>(prticks / 2048.0);
  for (int k = 0; k < 16; ++k) {
    PlaceStar(&object[2], k, f);
    DrawObject(&object[2], 264, 1, buffer);
  }
}

void ShowStar(uint16_t* buffer, float pos_x, float pos_y, float pos_z, float rot_x, float rot_y,
              float rot_z) {
  Object3d* o = &object[2];
  o->pos_x = pos_x;
  o->pos_y = pos_y;
  o->pos_z = pos_z;
  o->rot_x = rot_x;
  o->rot_y = rot_y;
  o->rot_z = rot_z;
  DrawObject(o, 264, 1, buffer);
}

void ShowHead(uint16_t* buffer) {
  Object3d* o = &object[3];
  o->rot_x = -1.5707584619522095f;
  o->pos_z = 10240;
  o->rot_y = static_cast<float>(std::sin(prticks / 1024.0) + 3.14151693);
  DrawObject(o, 64, 1, buffer);
}

void RunScene3d(uint16_t* buffer, int scene) {
  switch (scene) {
    case 0:
      ShowCubeBilinear(buffer);
      break;
    case 1:
      ShowCubeMirror(buffer);
      Screen2Texture(buffer);
      break;
    case 2:
      StarShow(buffer);
      ClearZbuffer();
      break;
    case 3:
      ShowHead(buffer);
      ClearZbuffer();
      break;
    default:
      break;
  }
}
