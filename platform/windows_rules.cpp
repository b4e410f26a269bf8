// The Windows backend's decisions, in plain code: see windows_rules.h.
#include "platform/windows_rules.h"

#include <cstring>
#include <vector>

#include "platform/demo.h"
#include "platform/platform.h"

namespace {

uint32_t KeyRequest(uintptr_t key) {
  switch (key) {
    case win32::kEscape: return kRequestQuit;
    case win32::kSpace: return kRequestPause;
    case win32::kLeft: return kRequestBack;
    case win32::kRight: return kRequestForward;
    case win32::kPageUp: return kRequestPreviousPart;
    case win32::kPageDown: return kRequestNextPart;
    case win32::kHome: return kRequestRestart;
    case win32::kF: return kRequestToggleFullscreen;
    default: return 0;
  }
}

}  // namespace

uint32_t WindowsMessageRequest(unsigned message, uintptr_t wparam, intptr_t lparam) {
  switch (message) {
    // Windows repeats a held key; a held Page Down would skip part after part.
    case win32::kKeyDown: return (lparam & win32::kKeyWasDown) ? 0 : KeyRequest(wparam);
    case win32::kClose:
    case win32::kRightButtonDown: return kRequestQuit;
    default: return 0;
  }
}

bool CursorHiddenAt(unsigned hit_test) { return hit_test == win32::kHitClient; }

ScreenRect FourByThreeRect(int width, int height) {
  // Widths in whole multiples of 4 keep the height exact.
  int w = width / 4 * 4;
  if (w / 4 * 3 > height) w = height / 3 * 4;
  const int h = w / 4 * 3;
  return {(width - w) / 2, (height - h) / 2, w, h};
}

namespace {

// One entry per 5-6-5 colour: a table lookup is cheaper than three shifts and masks per pixel.
const std::vector<uint32_t>& Widened() {
  static const std::vector<uint32_t> table = [] {
    std::vector<uint32_t> t(65536);
    for (uint32_t p = 0; p < t.size(); ++p) {
      const uint32_t r = p >> 11, g = (p >> 5) & 63, b = p & 31;
      t[p] = ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
    }
    return t;
  }();
  return table;
}

}  // namespace

void ScaleFrame(const uint16_t* frame, uint32_t* out, int width, int height) {
  const std::vector<uint32_t>& widened = Widened();
  std::vector<int> column(width);
  for (int x = 0; x < width; ++x) column[x] = static_cast<int>(int64_t{x} * kWidth / width);
  int previous = -1;
  for (int y = 0; y < height; ++y) {
    uint32_t* row = out + static_cast<size_t>(y) * width;
    const int source = static_cast<int>(int64_t{y} * kHeight / height);
    if (source == previous) {  // a repeated row is copied whole
      std::memcpy(row, row - width, sizeof(uint32_t) * width);
      continue;
    }
    const uint16_t* in = frame + source * kWidth;
    for (int x = 0; x < width; ++x) row[x] = widened[in[column[x]]];
    previous = source;
  }
}

uint32_t SongFrameAt(uint32_t ms, uint32_t rate) {
  return static_cast<uint32_t>(uint64_t{ms} * rate / 1000);
}
