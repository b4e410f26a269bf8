// The list of what the show carries between frames, and its copy in and out. A global missing
// here would make a seek differ from a straight replay: the player's tests compare the two at
// moments across every part.
#include "show/loading.h"
#include "show/show_state.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <initializer_list>

#include "engine3d/engine3d.h"
#include "platform/demo.h"
#include "precalc/precalc.h"
#include "render3d/render3d.h"
#include "show/script.h"

namespace {

struct Region {
  void* at;
  size_t size;
};

template <class T>
Region Of(T& v) {
  return {&v, sizeof v};
}

// A point behind the viewer keeps its last screen position, so the screen points of the
// largest object carry over; the rest of the working arrays are rewritten before each read.
size_t ScreenPointsCarried() {
  int32_t most = 0;
  for (const Object3d& o : object) most = std::max(most, std::min(o.npts, kMaxWork));
  return static_cast<size_t>(most) * sizeof(ScreenPoint);
}

std::vector<Region> Carried() {
  std::vector<Region> r = {
      // The spine (the clock readings are kept apart).
      Of(quit), Of(part), Of(prticks), Of(nfrm), Of(prfrm), Of(randstate), Of(more),
      // The part scripts and the timeline.
      Of(xr1), Of(xr2), Of(xr3), Of(yr), Of(yf1), Of(yf2), Of(bounceX), Of(bx), Of(xu), Of(xg),
      Of(xadj), Of(yadj), Of(pfrm), Of(fps), Of(sbuffer), Of(xt1), Of(xt2),
      // The frame and the work buffers: several parts fade from or draw over the last picture.
      Of(vram), Of(screen1), Of(screen2), Of(gradbuffer), Of(blurbuffer1), Of(blurbuffer2),
      Of(flipped),
      // The star fields move by steps and respawn from the random numbers.
      Of(star3dx), Of(star3dy), Of(star3dz), Of(star3dv), Of(starx), Of(stary), Of(starz),
      Of(starv), Of(starw), Of(scsize), Of(starfar),
      // 3D: the mirror texture, the depth buffer, the render mode and the screen points.
      Of(mirror), Of(zbuffer), Of(RenderMode), {spts, ScreenPointsCarried()}};
  // Each scene sets only some of its object's pose; the rest stays from earlier frames.
  for (Object3d& o : object)
    for (float* f : {&o.rot_x, &o.rot_y, &o.rot_z, &o.pos_x, &o.pos_y, &o.pos_z})
      r.push_back({f, sizeof *f});
  return r;
}

}  // namespace

void ShowState::Save(uint32_t clock_base) {
  std::vector<Region> regions = Carried();
  size_t total = 0;
  for (const Region& g : regions) total += g.size;
  data_.resize(total);
  uint8_t* out = data_.data();
  for (const Region& g : regions) {
    std::memcpy(out, g.at, g.size);
    out += g.size;
  }
  partime_ = partime - clock_base;
  frametime_ = frametime - clock_base;
  atime_ = atime - clock_base;
}

void ShowState::Load(uint32_t clock_base) const {
  const uint8_t* in = data_.data();
  for (const Region& g : Carried()) {
    std::memcpy(g.at, in, g.size);
    in += g.size;
  }
  assert(in == data_.data() + data_.size());  // the objects kept their sizes since the save
  partime = partime_ + clock_base;
  frametime = frametime_ + clock_base;
  atime = atime_ + clock_base;
}

void ShiftShowClocks(uint32_t ms) {
  partime += ms;
  frametime += ms;
  atime += ms;
}
