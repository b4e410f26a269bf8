// The tables built once at start-up, before the song: the effect tables and the shade rows.
// Every effect reads them; the start-up that builds them (with its loading screen) is the show's.
#pragma once
#include <cstdint>

// Shade rows: 64 rows of 256 RGB565 colours; row k starts at shades + 256 * k.
extern uint16_t shades[16384];
void MakeColors(uint16_t* row, uint32_t first, uint32_t second, int start, int end);
void SetColors();

// Grey level of an RGB565 pixel (0.30 R8 + 0.59 G8 + 0.11 B8, truncated; at most 250).
int GreyLevel(uint16_t pixel);

// A long build calls LoadingFrame between its steps, so that the start-up can show a loading
// frame there. The start-up sets loading_frame; until then the builds run without frames.
extern void (*loading_frame)();
void LoadingFrame();

// Effect tables.
extern int32_t fsin1[320];
extern int32_t fsin2[448];
extern int32_t fsin3[760];
extern int32_t fsin4[240];
extern int32_t fsin5[290];
extern int32_t pdiv[8192];            // 65536 / (i - 4096); read through pdiv + 4096
extern int32_t fpal[512];
extern uint16_t dist_angle[153600];   // (distance, angle) pair per screen pixel
extern uint8_t gradbmp[16384];        // grey copy of dracul
extern uint8_t blob[4096];            // 64 x 64 blob sprite

extern float star3dx[512], star3dy[512], star3dz[512], star3dv[512];
extern float starx[256], stary[256], starz[256], starv[256], starw[256];
extern int scsize;   // side of the square in which 3D stars respawn
extern int starfar;  // spawn depth of the 3D stars

void SinePrecs();
void MakeSines(int32_t* table, int count, float divisor, float amplitude, float offset);
void PrecDivs();
void PlasmaInit();
void PolarInit();
void RotoBitmapInit();
void InitBlob();
void Stars2dInit();
void Stars3dInit();
