// The object records, the per-frame working arrays and the integer vector maths behind every
// normal. Normals are computed once per object at start-up, so nothing here is hot.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine3d/engine3d.h"
#include "platform/demo.h"

Object3d object[kMaxObjects];
int maxobj = 3;

Vector3 fpts[kMaxWork];
ScreenPoint spts[kMaxWork];
Vector3 norms[kMaxWork];
Vector3 pt_norms[kMaxWork];
PolyShade spls[kMaxWork];
int32_t zdata[kMaxWork];
uint16_t swp[kMaxWork];
uint8_t addtimes[kMaxWork];
TexCoord point_tc[kMaxWork];

Vector3 CrossProduct(int32_t ax, int32_t ay, int32_t az, int32_t bx, int32_t by, int32_t bz) {
  return {wsub(wmul(ay, bz), wmul(az, by)), wsub(wmul(az, bx), wmul(ax, bz)),
          wsub(wmul(ax, by), wmul(ay, bx))};
}

int32_t DotProduct(int32_t ax, int32_t ay, int32_t az, int32_t bx, int32_t by, int32_t bz) {
  return wadd(wadd(wmul(ax, bx), wmul(ay, by)), wmul(az, bz));
}

// The sum of squares wraps like the 32-bit original. When it wraps negative the square root
// is not a number; ftoi turns that into a length of 0, so such a vector becomes (0, 0, 0).
Vector3 Normalize(int32_t x, int32_t y, int32_t z) {
  int32_t s = DotProduct(x, y, z, x, y, z);
  int32_t len = ftoi(std::sqrt(static_cast<double>(s)));
  if (len == 0) return {0, 0, 0};
  return {wmul(x, 256) / len, wmul(y, 256) / len, wmul(z, 256) / len};
}

Vector3 NegVec(int32_t x, int32_t y, int32_t z) { return {wneg(x), wneg(y), wneg(z)}; }

// The arrays of an object come from calloc and live for the whole run; only a tool that plays
// the demo again gives them back (ReleaseObjects), or one that builds throw-away objects.
void CalcNorms(Object3d* obj, int negate) {
  obj->normals = static_cast<Vector3*>(std::calloc(obj->npolys, sizeof(Vector3)));
  for (int32_t i = 0; i < obj->npolys; ++i) {
    const Polygon3d& pl = obj->polys[i];
    const Point3d& p0 = obj->pts[pl.p0];
    const Point3d& p1 = obj->pts[pl.p1];
    const Point3d& p2 = obj->pts[pl.p2];
    Vector3 c = CrossProduct(wsub(p2.x, p1.x), wsub(p2.y, p1.y), wsub(p2.z, p1.z),
                             wsub(p1.x, p0.x), wsub(p1.y, p0.y), wsub(p1.z, p0.z));
    Vector3 n = Normalize(c.x, c.y, c.z);
    if (negate == 1) n = NegVec(n.x, n.y, n.z);
    obj->normals[i] = n;
  }
}

static void AddNormal(Vector3& sum, const Vector3& n) {
  sum.x = wadd(sum.x, n.x);
  sum.y = wadd(sum.y, n.y);
  sum.z = wadd(sum.z, n.z);
}

void CalcPtNorms(Object3d* obj) {
  obj->pt_normals = static_cast<Vector3*>(std::calloc(obj->npts, sizeof(Vector3)));
  std::memset(addtimes, 0, sizeof(addtimes));
  for (int32_t i = 0; i < obj->npolys; ++i) {
    const Polygon3d& pl = obj->polys[i];
    AddNormal(obj->pt_normals[pl.p0], obj->normals[i]);
    AddNormal(obj->pt_normals[pl.p1], obj->normals[i]);
    AddNormal(obj->pt_normals[pl.p2], obj->normals[i]);
    ++addtimes[pl.p0];
    ++addtimes[pl.p1];
    ++addtimes[pl.p2];
  }
  for (int32_t j = 0; j < obj->npts; ++j) {
    int32_t k = addtimes[j];
    if (k == 0) continue;
    Vector3& n = obj->pt_normals[j];
    n = Normalize(n.x / k, n.y / k, n.z / k);
  }
}

void ReversePolygonOrder(Object3d* obj) {
  for (int32_t i = 0; i < obj->npolys; ++i) {
    Polygon3d& pl = obj->polys[i];
    int32_t t = pl.p0;
    pl.p0 = pl.p2;
    pl.p2 = t;
  }
}

void ReleaseObjects() {
  for (Object3d& o : object) {
    std::free(o.pts);
    std::free(o.polys);
    std::free(o.lines);
    std::free(o.normals);
    std::free(o.pt_normals);
    o = Object3d{};
  }
}
