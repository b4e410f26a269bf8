// What the Windows backend decides, apart from the Win32 calls that carry it out, so that the
// native tests check it: which window messages are requests, where a full-screen frame goes, and
// the player's record of where the song is.
#pragma once
#include <cstdint>

// The numbers Windows gives these messages and keys (winuser.h), for code that cannot include it.
namespace win32 {
constexpr unsigned kClose = 0x0010;        // WM_CLOSE: the close button, Alt+F4
constexpr unsigned kKeyDown = 0x0100;      // WM_KEYDOWN
constexpr unsigned kRightButtonDown = 0x0204;  // WM_RBUTTONDOWN
constexpr unsigned kEscape = 0x1B, kSpace = 0x20, kPageUp = 0x21, kPageDown = 0x22, kHome = 0x24,
                   kLeft = 0x25, kRight = 0x27, kF = 'F';
constexpr intptr_t kKeyWasDown = intptr_t{1} << 30;  // WM_KEYDOWN's lParam: a held key repeating
constexpr unsigned kHitClient = 1;  // WM_SETCURSOR's hit test (HTCLIENT): over the picture
}  // namespace win32

// The requests one window message makes: the SDL window's keys, the close button, and the right
// mouse button, which ends the demo as Escape does. A held key counts once.
uint32_t WindowsMessageRequest(unsigned message, uintptr_t wparam, intptr_t lparam);

// Whether the cursor hides where WM_SETCURSOR's hit test puts it: over the picture, as SDL hides
// it, but not over the title bar and the borders, which the mouse must find to move the window.
bool CursorHiddenAt(unsigned hit_test);

// Where a frame goes on a full screen of width x height: the largest 4:3 rectangle, centred, the
// rest black.
struct ScreenRect {
  int x, y, width, height;
};
ScreenRect FourByThreeRect(int width, int height);

// The 320 x 240 RGB565 frame scaled to width x height by nearest neighbour into rows of 0x00RRGGBB,
// each channel widened to 8 bits by repeating its top bits (so that 8 bits give back the 5-6-5
// colour exactly). The window shows these pixels one for one: no scaling of Windows' own.
void ScaleFrame(const uint16_t* frame, uint32_t* out, int width, int height);

// The sample frame at `ms` milliseconds into a song of `rate` frames a second.
uint32_t SongFrameAt(uint32_t ms, uint32_t rate);
