// The small fixed-point 3D engine: objects, normals, procedural shapes, model loaders,
// transform and lighting. Coordinates carry 8 fractional bits after the transform; stored
// normals have length 256.
#pragma once
#include <cstddef>
#include <cstdint>

struct Point3d {
  int32_t x, y, z;
  uint16_t color;
};

struct Polygon3d {
  int32_t p0, tu0, tv0, p1, tu1, tv1, p2, tu2, tv2, shade, material;
};

struct Line3d {
  int32_t a, b, color;
};

struct Vector3 {
  int32_t x, y, z;
};

struct Material;  // render3d/render3d.h

struct Object3d {
  int32_t npts, npolys, nlines;
  Point3d* pts;
  Polygon3d* polys;
  Line3d* lines;
  Vector3* normals;
  Vector3* pt_normals;
  Material* materials;
  float rot_x, rot_y, rot_z;
  float pos_x, pos_y, pos_z;
};

struct ScreenPoint {
  int32_t x, y;
  uint16_t shade;
};

struct PolyShade {
  uint16_t shade;
};

struct TexCoord {
  int32_t u, v;
};

constexpr int kMaxObjects = 16;
constexpr int kMaxWork = 262144;       // room of every working array
constexpr int kMaxSortedPolys = 65536; // swp holds 16-bit indices

extern Object3d object[kMaxObjects];
extern int maxobj;  // slots built at start-up (3)

// Per-frame working arrays: the state of the object drawn last.
extern Vector3 fpts[kMaxWork];
extern ScreenPoint spts[kMaxWork];
extern Vector3 norms[kMaxWork];
extern Vector3 pt_norms[kMaxWork];
extern PolyShade spls[kMaxWork];
extern int32_t zdata[kMaxWork];
extern uint16_t swp[kMaxWork];
extern uint8_t addtimes[kMaxWork];
extern TexCoord point_tc[kMaxWork];

// Vector operations, 32-bit wrapping.
Vector3 CrossProduct(int32_t ax, int32_t ay, int32_t az, int32_t bx, int32_t by, int32_t bz);
int32_t DotProduct(int32_t ax, int32_t ay, int32_t az, int32_t bx, int32_t by, int32_t bz);
Vector3 Normalize(int32_t x, int32_t y, int32_t z);
Vector3 NegVec(int32_t x, int32_t y, int32_t z);

// Normals and mesh edits.
void CalcNorms(Object3d* obj, int negate);
void CalcPtNorms(Object3d* obj);
void ReversePolygonOrder(Object3d* obj);

// Procedural objects and model loaders. The loaders check their input and return false,
// leaving the object untouched, on a missing, short or inconsistent model.
void Init3d();
void InitTestObject(Object3d* obj, int type);
// Gives back every object's arrays and empties the records, so that a second start-up in the
// same process builds them afresh.
void ReleaseObjects();
bool Load32bit3doFile(const char* filename, Object3d* obj, int negate, float scale);
bool Load32bit3doData(const uint8_t* data, size_t size, Object3d* obj, int negate, float scale);
bool Load16bit3do(Object3d* obj, const uint8_t* data, size_t size, int negate);

// Transform and lighting.
void rotate3d(Object3d* obj);
void translate3d(Object3d* obj);
void project3d(Object3d* obj);
void Calc3d(Object3d* obj);
void rotate3d_normals(Object3d* obj);
void rotate3d_pt_normals(Object3d* obj);
void CalcPolyColor(Object3d* obj);
void CalcPointColor(Object3d* obj);
void CalcPolyColorStatic(Object3d* obj);
void CalcPointColorStatic(Object3d* obj);
void quicksort(int lo, int hi, int32_t* keys);

void Screen2Texture(uint16_t* buffer);
void StarShow(uint16_t* buffer);
void ShowHead(uint16_t* buffer);
void ShowStar(uint16_t* buffer, float pos_x, float pos_y, float pos_z, float rot_x, float rot_y,
              float rot_z);
