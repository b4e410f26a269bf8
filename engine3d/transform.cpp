// Transform and lighting: rotate, move and project an object's points into the working arrays,
// rotate its normals and turn them into shades, and the depth sort. The per-point loops are the
// cost here: nine integer products per point or normal, two divisions per projected point.
#include <cassert>
#include <cmath>

#include "engine3d/engine3d.h"
#include "platform/demo.h"

namespace {

// 8 fractional bits: 256 stands for 1.0.
struct Matrix8 {
  int32_t m00, m01, m02, m10, m11, m12, m20, m21, m22;
};

float CosF(float a) { return static_cast<float>(std::cos(static_cast<double>(a))); }
float SinF(float a) { return static_cast<float>(std::sin(static_cast<double>(a))); }
int32_t Fixed8(float v) { return ftoi(v * 256.0f); }

// Rz * Ry * Rx: every rotate call rebuilds it from the angles (six sines and cosines per call,
// none per point).
Matrix8 RotationMatrix(const Object3d* obj) {
  float cx = CosF(obj->rot_x), sx = SinF(obj->rot_x);
  float cy = CosF(obj->rot_y), sy = SinF(obj->rot_y);
  float cz = CosF(obj->rot_z), sz = SinF(obj->rot_z);
  Matrix8 m;
  m.m00 = Fixed8(cy * cz);
  m.m01 = Fixed8(cz * sx * sy - cx * sz);
  m.m02 = Fixed8(cz * cx * sy + sx * sz);
  m.m10 = Fixed8(cy * sz);
  m.m11 = Fixed8(cx * cz + sx * sy * sz);
  m.m12 = Fixed8(cx * sy * sz - cz * sx);
  m.m20 = Fixed8(-sy);
  m.m21 = Fixed8(sx * cy);
  m.m22 = Fixed8(cx * cy);
  return m;
}

Vector3 Apply(const Matrix8& m, int32_t x, int32_t y, int32_t z) {
  return {wadd(wadd(wmul(m.m00, x), wmul(m.m01, y)), wmul(m.m02, z)),
          wadd(wadd(wmul(m.m10, x), wmul(m.m11, y)), wmul(m.m12, z)),
          wadd(wadd(wmul(m.m20, x), wmul(m.m21, y)), wmul(m.m22, z))};
}

void RotateVectors(const Object3d* obj, const Vector3* src, int32_t count, Vector3* dst) {
  assert(count <= kMaxWork);
  Matrix8 m = RotationMatrix(obj);
  for (int32_t i = 0; i < count; ++i) dst[i] = Apply(m, src[i].x, src[i].y, src[i].z);
}

// Shade index from a rotated normal: light comes along the view direction.
uint16_t ShadeFromZ(int32_t z) {
  int32_t s = sar(z, 8);
  if (s < 0) s = 0;
  if (s > 255) s = 255;
  return static_cast<uint16_t>(s);
}

}  // namespace

void rotate3d(Object3d* obj) {
  assert(obj->npts <= kMaxWork);
  Matrix8 m = RotationMatrix(obj);
  for (int32_t i = 0; i < obj->npts; ++i) {
    const Point3d& p = obj->pts[i];
    fpts[i] = Apply(m, p.x, p.y, p.z);
  }
}

void translate3d(Object3d* obj) {
  int32_t tx = Fixed8(obj->pos_x), ty = Fixed8(obj->pos_y), tz = Fixed8(obj->pos_z);
  for (int32_t i = 0; i < obj->npts; ++i) {
    fpts[i].x = wadd(fpts[i].x, tx);
    fpts[i].y = wadd(fpts[i].y, ty);
    fpts[i].z = wadd(fpts[i].z, tz);
  }
}

// Points at or behind the viewer are skipped and keep whatever screen position they had.
void project3d(Object3d* obj) {
  for (int32_t i = 0; i < obj->npts; ++i) {
    const Vector3& f = fpts[i];
    if (f.z <= 0) continue;
    spts[i].x = wadd(shl(f.x, 8) / f.z, 160);
    spts[i].y = wadd(shl(f.y, 8) / f.z, 120);
  }
}

void Calc3d(Object3d* obj) {
  rotate3d(obj);
  translate3d(obj);
  project3d(obj);
}

void rotate3d_normals(Object3d* obj) { RotateVectors(obj, obj->normals, obj->npolys, norms); }

void rotate3d_pt_normals(Object3d* obj) {
  RotateVectors(obj, obj->pt_normals, obj->npts, pt_norms);
}

void CalcPolyColor(Object3d* obj) {
  for (int32_t i = 0; i < obj->npolys; ++i) spls[i].shade = ShadeFromZ(norms[i].z);
}

void CalcPointColor(Object3d* obj) {
  for (int32_t i = 0; i < obj->npts; ++i) spts[i].shade = ShadeFromZ(pt_norms[i].z);
}

void CalcPolyColorStatic(Object3d* obj) { CalcPolyColor(obj); }
void CalcPointColorStatic(Object3d* obj) { CalcPointColor(obj); }

// Hoare partitioning around the middle key; swp moves with the keys so that it ends up holding
// the polygon indices in drawing order. The right part is taken by the loop, not recursion.
void quicksort(int lo, int hi, int32_t* keys) {
  while (lo <= hi) {
    int32_t pivot = keys[(lo + hi) >> 1];
    int i = lo, j = hi;
    while (i <= j) {
      while (keys[i] < pivot) ++i;
      while (keys[j] > pivot) --j;
      if (i <= j) {
        int32_t k = keys[i];
        keys[i] = keys[j];
        keys[j] = k;
        uint16_t s = swp[i];
        swp[i] = swp[j];
        swp[j] = s;
        ++i;
        --j;
      }
    }
    if (lo < j) quicksort(lo, j, keys);
    if (i >= hi) return;
    lo = i;
  }
}
