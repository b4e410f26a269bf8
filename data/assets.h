// Compiled-in pictures and the small font, converted by the build from the sources in data/.
#pragma once
#include <cstdint>

extern const uint8_t bitfonts[480];     // 60 glyphs of 8 rows, bit 7 leftmost; codes 32 to 91
extern const uint16_t frondle[16384];   // 128 x 128 RGB565 loading-screen logo
extern const uint16_t dracul[16384];    // 128 x 128 RGB565 picture of the rotozoomers
extern const uint16_t env1[4096];       // 64 x 64 RGB565 environment map
extern const uint32_t text64[4096];     // 64 x 64 0x00RRGGBB texture of the bilinear cube
