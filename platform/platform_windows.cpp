// Windows backend: a Win32 window showing the frame three times larger with crisp pixels (or
// the whole screen at 4:3 between black bars), the multimedia timer's clock, and the window's
// messages as requests. The only file that calls Windows' window, timer and message functions.
#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/demo.h"
#include "platform/platform.h"
#include "platform/windows_rules.h"

namespace {

constexpr int kScale = 3;
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr wchar_t kClassName[] = L"Glasswhirligo";

HWND window = nullptr;
bool class_registered = false;
bool timer_period_set = false;
bool full_screen = false;
RECT windowed_place{};     // where the window was before it filled the screen
uint16_t shown[kPixels];   // the last frame presented: the window repaints it
uint32_t collected = 0;    // requests the window procedure saw since the last poll
char error_text[160] = "";

std::vector<uint32_t> scaled;  // the frame at the size it is shown

// Around the frame (full screen) the window's black background shows: Windows paints it when the
// window is uncovered or changes size, which is also when the bars are new.
void PaintFrame(HDC dc) {
  RECT client;
  GetClientRect(window, &client);
  const ScreenRect r = FourByThreeRect(client.right, client.bottom);
  if (r.width <= 0 || r.height <= 0) return;  // minimised
  // Scaled here, so that every demo pixel becomes the same block of screen pixels on any
  // Windows; the copy to the window is one for one.
  scaled.resize(static_cast<size_t>(r.width) * r.height);
  ScaleFrame(shown, scaled.data(), r.width, r.height);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), r.width, -r.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  SetDIBitsToDevice(dc, r.x, r.y, r.width, r.height, 0, 0, 0, r.height, scaled.data(), &info,
                    DIB_RGB_COLORS);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  collected |= WindowsMessageRequest(message, wparam, lparam);
  switch (message) {
    case WM_CLOSE: return 0;  // the show ends after its frame, and the window with it
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      PaintFrame(dc);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_SETCURSOR:
      if (CursorHiddenAt(LOWORD(lparam))) {
        SetCursor(nullptr);
        return TRUE;
      }
      break;
    default: break;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

// Handles every message waiting. Also called while the loading screen runs, which polls nothing,
// so that Windows never takes the window for a hung one; what was asked for is kept for the poll.
void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

uint32_t WindowsTicks() { return timeGetTime(); }

// With the timer at 1 ms, Sleep wakes within about a millisecond: sleep to a millisecond before
// `until`, and spin on the clock only for that last one.
void WindowsIdle(uint32_t until) {
  int32_t left = static_cast<int32_t>(until - timeGetTime());
  if (left > 1) Sleep(static_cast<DWORD>(left - 1));
  while (static_cast<int32_t>(until - timeGetTime()) > 0) YieldProcessor();
}

void WindowsPresent(const uint16_t* frame) {
  std::memcpy(shown, frame, sizeof shown);
  if (HDC dc = GetDC(window)) {
    PaintFrame(dc);
    ReleaseDC(window, dc);
  }
  Pump();
}

uint32_t WindowsPoll() {
  Pump();
  const uint32_t r = collected;
  collected = 0;
  return r;
}

// A paused show sleeps here until the window gets a message.
uint32_t WindowsWait() {
  if (collected == 0) MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  return WindowsPoll();
}

// Borderless over the whole monitor the window is on, and back to the same place.
void WindowsToggleFullscreen() {
  full_screen = !full_screen;
  if (full_screen) {
    GetWindowRect(window, &windowed_place);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& m = monitor.rcMonitor;
    SetWindowLongPtrW(window, GWL_STYLE, WS_POPUP | WS_VISIBLE);
    SetWindowPos(window, HWND_TOP, m.left, m.top, m.right - m.left, m.bottom - m.top,
                 SWP_FRAMECHANGED | SWP_SHOWWINDOW);
  } else {
    const RECT& w = windowed_place;
    SetWindowLongPtrW(window, GWL_STYLE, kWindowStyle | WS_VISIBLE);
    SetWindowPos(window, nullptr, w.left, w.top, w.right - w.left, w.bottom - w.top,
                 SWP_FRAMECHANGED | SWP_NOZORDER | SWP_SHOWWINDOW);
  }
  InvalidateRect(window, nullptr, TRUE);  // the background first: the bars
  Pump();
}

bool Fail(const char* what) {
  std::snprintf(error_text, sizeof error_text, "%s failed (Windows error %lu)", what,
                static_cast<unsigned long>(GetLastError()));
  return false;
}

bool OpenWindow() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = WindowProc;
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.hInstance = instance;
  // The program's own icon (resource 1) on the window's title bar and on the taskbar.
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), 0));
  wc.lpszClassName = kClassName;
  if (!RegisterClassExW(&wc)) return Fail("RegisterClassEx");
  class_registered = true;
  RECT outer{0, 0, kWidth * kScale, kHeight * kScale};
  AdjustWindowRect(&outer, kWindowStyle, FALSE);
  window = CreateWindowExW(0, kClassName, L"Glasswhirligo by Morwick", kWindowStyle, CW_USEDEFAULT,
                           CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top,
                           nullptr, nullptr, instance, nullptr);
  if (!window) return Fail("CreateWindowEx");
  return true;
}

}  // namespace

bool OpenWindowsPlatform(uint32_t flags) {
  std::memset(shown, 0, sizeof shown);
  collected = 0;
  full_screen = false;
  if (!OpenWindow()) return false;
  timer_period_set = timeBeginPeriod(1) == TIMERR_NOERROR;
  platform = Platform{WindowsTicks, WindowsIdle, WindowsPresent, WindowsPoll, WindowsWait,
                      WindowsToggleFullscreen};
  // Shown only in its first shape: a full-screen start never flashes the window first.
  if (flags & 0x80000000u)
    WindowsToggleFullscreen();
  else
    ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  Pump();
  return true;
}

void CloseWindowsPlatform() {
  if (window) DestroyWindow(window);
  window = nullptr;
  if (class_registered) UnregisterClassW(kClassName, GetModuleHandleW(nullptr));
  class_registered = false;
  if (timer_period_set) timeEndPeriod(1);
  timer_period_set = false;
}

const char* WindowsError() { return error_text; }

void TellWindowsUser(const char* line) {
  std::fprintf(stderr, "glasswhirligo: %s\n", line);
  const char* quiet = std::getenv("GLASSWHIRLIGO_ERRORS_TO_STDERR");
  if (quiet && *quiet && std::strcmp(quiet, "0") != 0) return;
  // Started by a double-click there is no console: the line is shown in a box.
  std::wstring text(std::strlen(line) + 1, L'\0');
  const int n = MultiByteToWideChar(CP_UTF8, 0, line, -1, text.data(), static_cast<int>(text.size()));
  text.resize(n > 0 ? n - 1 : 0);
  MessageBoxW(nullptr, text.c_str(), L"Glasswhirligo", MB_OK | MB_ICONERROR);
}
