// Full-screen 2D effects, blobs and star fields, and the crossfades. Each effect is one pass
// over a 320 x 240 buffer with table lookups and integer arithmetic.
#pragma once
#include <cstdint>

// Crossfades: dst may be the same buffer as a source.
void Crossfade(uint16_t* dst, const uint16_t* a, const uint16_t* b, int level);
void CrossfadeToColor(uint16_t* dst, const uint16_t* src, int r, int g, int b, int level);
void CrossfadeToColorTable(uint16_t* dst, const uint16_t* src, int r, int g, int b,
                           const uint16_t* table);
void CrossfadeToColorTable2(uint16_t* dst, const uint16_t* src, int r, int g, int b,
                            const uint16_t* table);

// Full-screen effects.
void ClearScreen(uint16_t* buffer);
// dst pixel i = palette[src value i]; a palette is a row of `shades`, and a value that would
// read past the end of `shades` (or past 255 of a palette of its own) reads its last entry.
void ShowGradBuffer(uint16_t* dst, const uint16_t* src, const uint16_t* palette);
void SineBuffer(uint16_t* buffer, int pos);
void ColorPlasma(uint16_t* dst);
void Polar(uint16_t* dst, const uint16_t* palette);
void RotozoomerNearest(uint16_t* dst, float angle, float zoom);
void RotozoomerAll(uint16_t* dst, float angle, float zoom, uint32_t row1, uint32_t row2);
void BlurX(uint16_t* dst, const uint16_t* src, uint32_t r);  // r in 0 .. 159
void BlurY(uint16_t* dst, const uint16_t* src, uint32_t r);  // r in 0 .. 119, src transposed
// BlurX(across, src, r), then `transposed` = across transposed, then BlurY(out, transposed, r).
void BlurBothWays(uint16_t* across, uint16_t* transposed, uint16_t* out, const uint16_t* src,
                  uint32_t r);
// dst (cols x rows) becomes the transpose of src (rows x cols); both multiples of 8.
void TransposePixels(uint16_t* dst, const uint16_t* src, int rows, int cols);

// Blobs and star fields (intensity buffers, saturating at 255).
void ClearBlobs(uint16_t* buffer);
void drawZoomBlobNearest(int x, int y, double zoom, uint16_t* buffer);
void drawZoomBlobBilinear(int x, int y, double zoom, uint16_t* buffer);
void drawZoomBlob(int x, int y, double zoom, int bilinear, uint16_t* buffer);
void Galaxy(uint16_t* buffer, int bilinear, float depth);
void BlobStars3d(uint16_t* buffer, int bilinear);
void BlobStars2d(uint16_t* buffer, int bilinear);
