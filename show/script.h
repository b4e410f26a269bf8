// The timeline of parts and the small per-part scripts, with the work buffers they share.
#pragma once
#include <cstdint>

#include "platform/demo.h"
#include "show/scenes.h"

extern uint16_t screen1[kPixels];
extern uint16_t screen2[kPixels];
extern uint16_t gradbuffer[kPixels];
extern uint16_t blurbuffer1[kPixels];
extern uint16_t blurbuffer2[kPixels];
extern uint16_t flipped[kPixels];  // transposed intensity image, 240 wide and 320 high

extern int xt1, xt2;  // positions of part 1's words

void Parts();

// One frame of the main loop: draw, show, pace, poll. CheckJoy sets quit on Escape or close
// and keeps the other requests for the player (show/player.h).
void Script();
void CheckJoy();
void ResetTimelineState();  // xt1, xt2

// Part scripts and their state.
extern int xr1, xr2, xr3, yr, yf1, yf2;
extern int bounceX;
extern float bx, xu, xg;
extern int xadj, yadj;
extern uint32_t atime, pfrm;
extern int fps;
extern char sbuffer[64];

void RotoZoomerScript(uint16_t* dst);
void SineBufferScript();
void BounceSineBuffer();
void TextScript1(uint16_t* buf);
void FlipBitmap(const uint16_t* src, uint16_t* dst);
void CountFps();

// Puts the timeline's and the scripts' globals back to their start-up values.
void ResetScriptState();
