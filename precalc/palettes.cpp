// The shade rows: every intensity-to-colour palette of the demo, built once from linear ramps.
// Cheap (a few thousand entries); what matters is that each entry matches bit for bit, so the
// ramps step in double precision and truncate.
#include "precalc/precalc.h"

#include "platform/demo.h"

uint16_t shades[16384];

namespace {

constexpr uint32_t Colour(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }

uint16_t* ShadeRow(int k) { return shades + 256 * k; }

}  // namespace

// Used for the grey copies of the pictures.
int GreyLevel(uint16_t pixel) {
  int r8 = (pixel >> 11) << 3;
  int g8 = ((pixel >> 5) & 63) << 2;
  int b8 = (pixel & 31) << 3;
  return static_cast<int>(0.30 * r8 + 0.59 * g8 + 0.11 * b8);
}

// The start colour itself is not stored: the first entry is one step past it, so consecutive
// ramps that share an end colour do not repeat it.
void MakeColors(uint16_t* row, uint32_t first, uint32_t second, int start, int end) {
  if (start > end) return;
  const double n = static_cast<double>(end) - static_cast<double>(start) + 1.0;
  double acc[3];
  double step[3];
  for (int ch = 0; ch < 3; ++ch) {
    const int a = static_cast<int>((first >> (8 * ch)) & 255);
    const int b = static_cast<int>((second >> (8 * ch)) & 255);
    acc[ch] = a;
    step[ch] = (b - a) / n;
  }
  for (int i = start; i <= end; ++i) {
    for (int ch = 0; ch < 3; ++ch) acc[ch] += step[ch];
    row[i] = Rgb565(ftoi(acc[0]), ftoi(acc[1]), ftoi(acc[2]));
  }
}

void SetColors() {
  const uint32_t black = Colour(0, 0, 0);
  const uint32_t white = Colour(255, 255, 255);

  const uint32_t dark_blue = Colour(0, 0, 63), orange = Colour(255, 127, 0);
  const uint32_t dark_red = Colour(127, 0, 0);
  MakeColors(ShadeRow(0), dark_blue, orange, 0, 63);
  MakeColors(ShadeRow(0), orange, white, 64, 127);
  MakeColors(ShadeRow(0), white, dark_red, 128, 191);
  MakeColors(ShadeRow(0), dark_red, dark_blue, 192, 255);

  const uint32_t deep_blue = Colour(0, 63, 127), sky = Colour(63, 127, 255);
  MakeColors(ShadeRow(1), black, deep_blue, 0, 63);
  MakeColors(ShadeRow(1), deep_blue, sky, 64, 191);
  MakeColors(ShadeRow(1), sky, white, 192, 255);

  // Rows 2 and 3 ramp from entry 1, so entry 0 needs the start colour set by hand.
  ShadeRow(2)[0] = Rgb565(255, 127, 0);
  MakeColors(ShadeRow(2), orange, Colour(255, 255, 127), 1, 255);
  ShadeRow(3)[0] = Rgb565(127, 127, 127);
  MakeColors(ShadeRow(3), Colour(127, 127, 127), white, 1, 255);

  const uint32_t teal = Colour(63, 127, 127);
  MakeColors(ShadeRow(5), black, teal, 0, 95);
  MakeColors(ShadeRow(5), teal, Colour(127, 255, 127), 96, 255);

  const uint32_t violet = Colour(96, 63, 255);
  MakeColors(ShadeRow(8), black, violet, 0, 191);
  MakeColors(ShadeRow(8), violet, Colour(127, 224, 255), 192, 255);
}
