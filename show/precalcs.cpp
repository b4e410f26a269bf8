// The start-up precalculation driver: fonts and shades first, because every loading frame
// prints with them; then the tables with their loading frames, the 3D objects, and the fade
// of the last loading frame to black.
#include "engine3d/engine3d.h"
#include "precalc/precalc.h"
#include "show/loading.h"
#include "text/text.h"

const char* precalcs() {
  if (const char* fault = InitFonts()) return fault;
  SetColors();
  EffectsInit();
  Init3d();
  Vram2screen2();
  FadeoutInit();
  return nullptr;
}
