// The start-up of the show: the precalculation driver and the loading screen it shows between
// the table builds, ending in a fade to black.
#pragma once
#include <cstdint>

extern int more;                     // loading frames shown so far
extern uint8_t FrondleGrad[16384];   // grey copy of the logo
// The whole start-up precalculation. Returns nullptr when done, otherwise the one line that says
// why the demo cannot start (a missing or malformed font file), before anything is shown.
[[nodiscard]] const char* precalcs();
void EffectsInit();
void Frondle();
void initFrondle();
void RotozoomerFiltered(uint16_t* dst, const uint8_t* bitmap, float angle, float zoom);
void Vram2screen2();
void Screen1toVram();
void FadeoutInit();
