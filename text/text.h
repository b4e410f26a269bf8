// The two bitmap fonts and every text printer. The 16-pixel printers wobble each character
// on its own sine path; the cost is two sines per character, nothing per pixel.
#pragma once
#include <cstddef>
#include <cstdint>

extern uint8_t fonts[3776];     // 59 expanded 8 x 8 glyphs, one byte (0 or 255) per pixel
extern uint8_t cc[256];         // character code -> 16-pixel glyph index
extern uint8_t fonts16[22016];  // 86 glyphs of 16 x 16 levels 0 to 15

constexpr size_t kFonts16FileSize = 22272;

// Checks and loads an image of "fonts16.bin". Returns nullptr when it was loaded, otherwise a
// short description of the fault (and leaves cc and fonts16 untouched). Refused: fewer than
// kFonts16FileSize bytes, a map entry above 85, a glyph value above 15; bytes past
// kFonts16FileSize are ignored.
const char* LoadFonts16(const uint8_t* data, size_t size);

// Expands the 8 x 8 font and loads "fonts16.bin" from the first data folder that has it
// (platform/data_files.h). Returns nullptr when the font was loaded, otherwise one line naming
// the file and its fault, for the caller to end the start-up with.
[[nodiscard]] const char* InitFonts();

void Print(int x, int y, const char* text, int length, const uint16_t* table, uint16_t* dst);
void Print8(int x, int y, const char* text, int length, uint16_t* dst, int phase);
void PrintNormal(int x, int y, const char* text, int length, const uint16_t* table, uint16_t* dst);
void PrintFont(int x, int y, int k, const uint16_t* table, uint16_t* dst);
void PrintFont8(int x, int y, int k, uint16_t* dst);
void DrawFont(int x, int y, int g, int bpp, void* dst);
void DrawText_(int x, int y, int n, const char* text, int bpp, void* dst);
