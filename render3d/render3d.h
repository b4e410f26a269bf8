// The polygon renderer: the render pipeline with its twelve modes, one triangle walk shared
// by every fill kind, lines, points, and the bilinear and environment-mapped fillers.
#pragma once
#include <cstdint>

#include "engine3d/engine3d.h"

struct Material {
  int32_t kind;          // 4 flat, 8 Gouraud, 16 environment-mapped, 32 textured
  int32_t table;         // shade row
  const void* texture;
};

extern int32_t RenderMode;
// The texture of mode 32: 256 x 256 RGB565, refreshed from the frame by the mirror-cube scene.
extern uint16_t mirror[65536];
extern uint32_t zbuffer[76800];  // unsigned depths, smaller is nearer; 0xFFFFFFFF when clear

void ClearZbuffer();
void zsort(int32_t* keys, Object3d* obj);
void RenderOld(Object3d* obj, int32_t table, uint16_t* dst);
void Render(Object3d* obj, uint16_t* dst);

void DrawTextureTriangleBilinear(int32_t p0, int32_t tu0, int32_t tv0, int32_t p1, int32_t tu1,
                                 int32_t tv1, int32_t p2, int32_t tu2, int32_t tv2, int32_t shade,
                                 int32_t material, uint16_t* dst, int32_t shift,
                                 const uint32_t* texture);
void DrawEnvmappedTriangle(int32_t p0, int32_t tu0, int32_t tv0, int32_t p1, int32_t tu1,
                           int32_t tv1, int32_t p2, int32_t tu2, int32_t tv2, int32_t shade,
                           int32_t material, uint16_t* dst, int32_t shift,
                           const uint16_t* texture);
