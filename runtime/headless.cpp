#include "runtime/headless.h"

#include "precalc/precalc.h"
#include "runtime/demo.h"
#include "runtime/platform.h"

void StartHeadlessDemo() {
  UseHeadlessPlatform();
  SetVirtualTicks(0);
  precalcs();
  partime = platform.ticks();
}

void RunHeadlessDemo() {
  StartHeadlessDemo();
  do {
    Script();
  } while (!quit);
}
