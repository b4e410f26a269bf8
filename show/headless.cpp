#include "show/headless.h"

#include <cstring>
#include <initializer_list>

#include "engine3d/engine3d.h"
#include "platform/demo.h"
#include "platform/platform.h"
#include "precalc/precalc.h"
#include "render3d/render3d.h"
#include "show/loading.h"
#include "show/script.h"

void ResetDemo() {
  ReleaseObjects();
  for (uint16_t* b : {vram, screen1, screen2, gradbuffer, blurbuffer1, blurbuffer2, flipped})
    std::memset(b, 0, kPixels * sizeof *b);
  std::memset(mirror, 0, sizeof mirror);
  ClearZbuffer();
  ResetDemoState();
  ResetScriptState();
  ResetTimelineState();
  more = 0;
  scsize = 64;  // part 6 widens the square in which the stars respawn
}

const char* StartHeadlessDemo() {
  ResetDemo();
  UseHeadlessPlatform();
  SetVirtualTicks(0);
  if (const char* fault = precalcs()) return fault;
  partime = platform.ticks();
  return nullptr;
}

const char* RunHeadlessDemo() {
  if (const char* fault = StartHeadlessDemo()) return fault;
  do {
    Script();
  } while (!quit);
  return nullptr;
}
