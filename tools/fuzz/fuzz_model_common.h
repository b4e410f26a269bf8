// What every model loader promises, checked after each fuzzed load: a refused model leaves the
// object exactly as it was; an accepted one fits the working arrays, names only its own points
// and comes with a normal per polygon and per point.
#pragma once
#include <cstdlib>

#include "engine3d/engine3d.h"

namespace fuzz {

inline Object3d Sentinel() {
  Object3d o{};
  o.npts = 7;
  o.npolys = 11;
  o.nlines = 13;
  o.rot_y = 0.25f;
  o.pos_z = 256.0f;
  return o;
}

// Field by field: a byte comparison would also compare the record's padding.
inline bool Same(const Object3d& a, const Object3d& b) {
  return a.npts == b.npts && a.npolys == b.npolys && a.nlines == b.nlines && a.pts == b.pts &&
         a.polys == b.polys && a.lines == b.lines && a.normals == b.normals &&
         a.pt_normals == b.pt_normals && a.materials == b.materials && a.rot_x == b.rot_x &&
         a.rot_y == b.rot_y && a.rot_z == b.rot_z && a.pos_x == b.pos_x && a.pos_y == b.pos_y &&
         a.pos_z == b.pos_z;
}

inline bool InRange(int32_t p, int32_t n) { return p >= 0 && p < n; }

inline void CheckAccepted(const Object3d& o) {
  if (o.npts < 0 || o.npts > kMaxWork || o.nlines < 0 || o.nlines > kMaxWork ||
      o.npolys < 0 || o.npolys > kMaxSortedPolys)
    __builtin_trap();
  if (o.rot_y != 0.25f || o.pos_z != 256.0f) __builtin_trap();  // placement is not the model's
  for (int32_t i = 0; i < o.nlines; ++i)
    if (!InRange(o.lines[i].a, o.npts) || !InRange(o.lines[i].b, o.npts)) __builtin_trap();
  for (int32_t i = 0; i < o.npolys; ++i) {
    const Polygon3d& pl = o.polys[i];
    if (!InRange(pl.p0, o.npts) || !InRange(pl.p1, o.npts) || !InRange(pl.p2, o.npts))
      __builtin_trap();
    // Reading the last normal of each array lets the sanitizer check the arrays' sizes.
    volatile int32_t touch = o.normals[i].x;
    (void)touch;
  }
  if (o.npts > 0) {
    volatile int32_t touch = o.pt_normals[o.npts - 1].x;
    (void)touch;
  }
}

inline void Release(Object3d& o) {
  std::free(o.pts);
  std::free(o.polys);
  std::free(o.lines);
  std::free(o.normals);
  std::free(o.pt_normals);
}

// Runs one load and checks its outcome.
template <typename Load>
void LoadAndCheck(Load load) {
  Object3d obj = Sentinel();
  const Object3d before = obj;
  if (load(&obj)) {
    CheckAccepted(obj);
    Release(obj);
  } else if (!Same(obj, before)) {
    __builtin_trap();
  }
}

}  // namespace fuzz
