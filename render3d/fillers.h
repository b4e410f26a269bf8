// The pipeline's own fill kinds, lines and points, between the render modes and the walk.
#pragma once
#include <cstdint>

#include "engine3d/engine3d.h"

enum class FillKind : uint8_t {
  Flat,             // one colour, index and column test
  FlatDepth,        // one colour, index only, then depth
  ShadeRaw,         // shade value as the pixel, index and column
  ShadeRawDepth,    // shade value as the pixel, index and column, then depth
  ShadeRow,         // shade through a row of shades, index and column
  ShadeRowDepth,    // shade through a row of shades, index and column, then depth
  Texture256,       // polygon coordinates into a 256 x 256 texture, index only
  EnvTextureDepth,  // polygon coordinates into the 64 x 64 map, index only, then depth
  EnvPointDepth,    // point_tc coordinates into the 64 x 64 map, index only, then depth
};

// What a kind reads besides the corners: the flat colour, or the shade row or texture.
struct FillSource {
  uint16_t colour;
  const uint16_t* texels;
};

void FillTriangle(FillKind kind, const Polygon3d& poly, const FillSource& source, uint16_t* dst);

// Point and line indices must already be known to lie inside the object's points.
void PlotPoints(int32_t npts, uint16_t* dst);
void DrawLines(const Line3d* lines, int32_t nlines, uint16_t* dst);
