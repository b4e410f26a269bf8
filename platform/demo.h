// The demo's spine: the clock, the frame counters and the frame in which every part draws.
// Shared by all subsystems; nothing here knows SDL (the platform seam is in platform.h).
#pragma once
#include <cstdint>
#include <limits>

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kPixels = kWidth * kHeight;  // 76,800 16-bit values, 38,400 words of two pixels

// The frame the timeline draws into; the platform presents it (the SDL surface may differ in
// pitch or format, so nothing draws into the surface itself).
extern uint16_t vram[kPixels];

extern uint32_t fullscreen;  // 0 or 0x80000000, passed as the video-mode flags
extern int quit;
extern int part;             // running part of the timeline, starts at 6
extern uint32_t partime;     // clock reading at which the part clock last started
extern uint32_t prticks;     // the part clock, read once per frame
extern uint32_t frametime;   // clock reading at the end of the last pacing wait
extern uint32_t nfrm;        // frames shown since the main loop started
extern uint32_t prfrm;       // animation phase of the scripts and effects

void speeddown(uint32_t ms);
void Flip();  // presents vram: the place of SDL_Flip in the frame routine and the loading screen

// Puts every global of the spine back to its start-up value (tests and tools run the demo
// several times in one process).
void ResetDemoState();

// The demo's random numbers: never seeded, at least 15 bits, and its state can be saved so that
// a tool can resume from a known moment.
constexpr int kRandMax = 0x7fffffff;
extern uint32_t randstate;
int DemoRand();

// 32-bit wrapping arithmetic and shifts, written so that no signed overflow can occur.
constexpr int32_t wadd(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
constexpr int32_t wsub(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }
constexpr int32_t wmul(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b)); }
constexpr int32_t wneg(int32_t a) { return static_cast<int32_t>(0u - static_cast<uint32_t>(a)); }
constexpr int32_t shl(int32_t a, int n) { return static_cast<int32_t>(static_cast<uint32_t>(a) << n); }
constexpr int32_t sar(int32_t a, int n) { return a >> n; }  // arithmetic in C++20

// Float to int32 truncating toward zero; values outside the int32 range saturate instead of
// being undefined. Inline: the blob fields call it several times per blob.
inline int32_t ftoi(double v) {
  if (!(v > -2147483649.0)) return v != v ? 0 : std::numeric_limits<int32_t>::min();
  if (!(v < 2147483648.0)) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(v);
}

constexpr uint16_t Rgb565(int r, int g, int b) {
  return static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}
