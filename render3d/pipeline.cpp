// The render pipeline: per mode, the object's preparation (normals, lighting, environment
// coordinates, depth clear), the drawing order, the facing rule and the fill of each triangle.
// The cost is in the fillers; the per-object passes here are one loop over points or polygons.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "data/assets.h"
#include "platform/demo.h"
#include "precalc/precalc.h"
#include "render3d/fillers.h"
#include "render3d/render3d.h"

int32_t RenderMode;
uint16_t mirror[65536];
uint32_t zbuffer[76800];

void ClearZbuffer() { std::memset(zbuffer, 0xFF, sizeof zbuffer); }

namespace {

// The depth buffer holds the cleared value from start-up on.
[[maybe_unused]] const bool zbuffer_starts_clear = (ClearZbuffer(), true);

enum class Order { Sorted, Object };
enum class Facing { None, Screen, Normal };

constexpr int32_t kShadeRows = 64;

bool InsidePoints(int32_t p, int32_t npts) { return p >= 0 && p < npts; }

// Counts within the working arrays and every index inside the object's points; an object that
// fails this is bad data and is not drawn at all.
bool ObjectFits(const Object3d* obj) {
  if (obj->npts < 0 || obj->npts > kMaxWork || obj->npolys < 0 || obj->npolys > kMaxWork ||
      obj->nlines < 0 || obj->nlines > kMaxWork)
    return false;
  if ((obj->npolys > 0 && !obj->polys) || (obj->nlines > 0 && !obj->lines)) return false;
  for (int32_t i = 0; i < obj->npolys; ++i) {
    const Polygon3d& p = obj->polys[i];
    if (!InsidePoints(p.p0, obj->npts) || !InsidePoints(p.p1, obj->npts) ||
        !InsidePoints(p.p2, obj->npts))
      return false;
  }
  for (int32_t i = 0; i < obj->nlines; ++i)
    if (!InsidePoints(obj->lines[i].a, obj->npts) || !InsidePoints(obj->lines[i].b, obj->npts))
      return false;
  return true;
}

void SortPolygons(Object3d* obj) {
  zsort(zdata, obj);
  quicksort(0, obj->npolys - 1, zdata);
}

// Environment coordinates from the rotated point normals: x across, y down, centred on 127.
void EnvironmentCoordinates(const Object3d* obj) {
  for (int32_t i = 0; i < obj->npts; ++i) {
    point_tc[i].u = std::abs(sar(pt_norms[i].x, 9) + 127) & 255;
    point_tc[i].v = std::abs(sar(pt_norms[i].y, 9) + 127) & 255;
  }
}

bool FacesScreen(const Polygon3d& p) {
  const ScreenPoint &a = spts[p.p0], &b = spts[p.p1], &c = spts[p.p2];
  const int32_t cross =
      wsub(wmul(wsub(a.x, b.x), wsub(c.y, b.y)), wmul(wsub(c.x, b.x), wsub(a.y, b.y)));
  return cross < 0;
}

bool Faces(Facing facing, const Polygon3d& p, int32_t i) {
  switch (facing) {
    case Facing::Screen: return FacesScreen(p);
    case Facing::Normal: return norms[i].z >= 0;
    case Facing::None: break;
  }
  return true;
}

// Visits the polygons in drawing order, passing those that face the viewer to `draw`.
template <class Draw>
void ForEachDrawn(Object3d* obj, Order order, Facing facing, Draw draw) {
  if (order == Order::Sorted) {
    if (obj->npolys > kMaxSortedPolys) return;  // swp holds 16-bit indices
    SortPolygons(obj);
  }
  for (int32_t k = 0; k < obj->npolys; ++k) {
    const int32_t i = order == Order::Sorted ? swp[k] : k;
    Polygon3d& poly = obj->polys[i];
    if (Faces(facing, poly, i)) draw(poly, i);
  }
}

// Flat fill: the polygon takes its shade from the lighting and its colour from `row`.
void DrawFlat(Object3d* obj, Order order, Facing facing, FillKind kind, const uint16_t* row,
              uint16_t* dst) {
  ForEachDrawn(obj, order, facing, [&](Polygon3d& poly, int32_t i) {
    poly.shade = spls[i].shade;
    FillTriangle(kind, poly, FillSource{row[std::min(poly.shade, 255)], nullptr}, dst);
  });
}

void DrawTextured(Object3d* obj, Order order, Facing facing, FillKind kind,
                  const uint16_t* texels, uint16_t* dst) {
  ForEachDrawn(obj, order, facing, [&](Polygon3d& poly, int32_t) {
    FillTriangle(kind, poly, FillSource{0, texels}, dst);
  });
}

void DrawEnvmapped(Object3d* obj, uint16_t* dst, const uint16_t* map) {
  ForEachDrawn(obj, Order::Sorted, Facing::None, [&](Polygon3d& p, int32_t) {
    DrawEnvmappedTriangle(p.p0, p.tu0, p.tv0, p.p1, p.tu1, p.tv1, p.p2, p.tu2, p.tv2, p.shade,
                          p.material, dst, 2, map);
  });
}

void DrawBilinear(Object3d* obj, uint16_t* dst) {
  ForEachDrawn(obj, Order::Sorted, Facing::Screen, [&](Polygon3d& p, int32_t) {
    DrawTextureTriangleBilinear(p.p0, p.tu0, p.tv0, p.p1, p.tu1, p.tv1, p.p2, p.tu2, p.tv2,
                                p.shade, p.material, dst, 2, text64);
  });
}

const uint16_t* ShadeRow(int32_t table) {
  return table >= 0 && table < kShadeRows ? shades + 256 * table : nullptr;
}

}  // namespace

void zsort(int32_t* keys, Object3d* obj) {
  for (int32_t i = 0; i < obj->npolys; ++i) {
    const Polygon3d& p = obj->polys[i];
    swp[i] = static_cast<uint16_t>(i);
    keys[i] = wneg(sar(wadd(wadd(fpts[p.p0].z, fpts[p.p1].z), fpts[p.p2].z), 2));
  }
}

void RenderOld(Object3d* obj, int32_t table, uint16_t* dst) {
  if (!obj || !dst || !ObjectFits(obj)) return;
  const uint16_t* row = ShadeRow(table);
  switch (RenderMode) {
    case 1: PlotPoints(obj->npts, dst); break;
    case 2: DrawLines(obj->lines, obj->nlines, dst); break;
    case 4:
      if (!row) break;
      rotate3d_normals(obj);
      CalcPolyColor(obj);
      DrawFlat(obj, Order::Sorted, Facing::Screen, FillKind::Flat, row, dst);
      break;
    case 8:
      rotate3d_pt_normals(obj);
      CalcPointColor(obj);
      DrawTextured(obj, Order::Sorted, Facing::Screen, FillKind::ShadeRaw, nullptr, dst);
      break;
    case 16:
      rotate3d_pt_normals(obj);
      EnvironmentCoordinates(obj);
      DrawEnvmapped(obj, dst, env1);
      break;
    case 32: DrawTextured(obj, Order::Sorted, Facing::Screen, FillKind::Texture256, mirror, dst); break;
    case 64:
      rotate3d_normals(obj);
      rotate3d_pt_normals(obj);
      CalcPointColor(obj);
      DrawTextured(obj, Order::Object, Facing::Normal, FillKind::ShadeRowDepth, shades + 256, dst);
      break;
    case 260:
      if (!row) break;
      rotate3d_normals(obj);
      CalcPolyColor(obj);
      ClearZbuffer();
      DrawFlat(obj, Order::Object, Facing::Normal, FillKind::FlatDepth, row, dst);
      break;
    case 264:
      rotate3d_pt_normals(obj);
      CalcPointColor(obj);
      DrawTextured(obj, Order::Object, Facing::None, FillKind::ShadeRawDepth, nullptr, dst);
      break;
    case 272:
      rotate3d_normals(obj);
      rotate3d_pt_normals(obj);
      ClearZbuffer();
      EnvironmentCoordinates(obj);
      DrawTextured(obj, Order::Object, Facing::Normal, FillKind::EnvPointDepth, env1, dst);
      break;
    case 288:
      rotate3d_normals(obj);
      ClearZbuffer();
      DrawTextured(obj, Order::Object, Facing::Normal, FillKind::EnvTextureDepth, env1, dst);
      break;
    case 544: DrawBilinear(obj, dst); break;
    default: break;
  }
}

namespace {

// One polygon by its material: 4 flat and 8 Gouraud through the material's shade row,
// 16 environment-mapped from a 64 x 64 map, 32 textured from a 256 x 256 texture.
void DrawByMaterial(Polygon3d& p, int32_t i, const Material& m, uint16_t* dst) {
  const uint16_t* row = ShadeRow(m.table);
  const auto* texture = static_cast<const uint16_t*>(m.texture);
  switch (m.kind) {
    case 4:
      if (!row) return;
      p.shade = spls[i].shade;
      FillTriangle(FillKind::Flat, p, FillSource{row[std::min(p.shade, 255)], nullptr}, dst);
      break;
    case 8:
      if (row) FillTriangle(FillKind::ShadeRow, p, FillSource{0, row}, dst);
      break;
    case 16:
      if (texture)
        DrawEnvmappedTriangle(p.p0, p.tu0, p.tv0, p.p1, p.tu1, p.tv1, p.p2, p.tu2, p.tv2, p.shade,
                              p.material, dst, 2, texture);
      break;
    case 32:
      if (texture) FillTriangle(FillKind::Texture256, p, FillSource{0, texture}, dst);
      break;
    default: break;
  }
}

}  // namespace

void Render(Object3d* obj, uint16_t* dst) {
  if (!obj || !dst || !ObjectFits(obj) || obj->npolys > kMaxSortedPolys) return;
  rotate3d_normals(obj);
  rotate3d_pt_normals(obj);
  CalcPolyColor(obj);
  CalcPointColor(obj);
  SortPolygons(obj);
  EnvironmentCoordinates(obj);
  if (!obj->materials) return;
  for (int32_t k = 0; k < obj->npolys; ++k) {
    const int32_t i = swp[k];
    Polygon3d& poly = obj->polys[i];
    if (poly.material < 0 || !FacesScreen(poly)) continue;
    DrawByMaterial(poly, i, obj->materials[poly.material], dst);
  }
}
