// The Windows backend's decisions, in plain code: see windows_rules.h.
#include "platform/windows_rules.h"

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

ScreenRect FourByThreeRect(int width, int height) {
  // Widths in whole multiples of 4 keep the height exact.
  int w = width / 4 * 4;
  if (w / 4 * 3 > height) w = height / 3 * 4;
  const int h = w / 4 * 3;
  return {(width - w) / 2, (height - h) / 2, w, h};
}

uint32_t SongFrameAt(uint32_t ms, uint32_t rate) {
  return static_cast<uint32_t>(uint64_t{ms} * rate / 1000);
}

void SongRecord::Start(uint32_t now) {
  on_ = true;
  paused_ = false;
  position_ = 0;
  set_at_ = now;
}

void SongRecord::Pause(uint32_t now) {
  if (!on_ || paused_) return;
  position_ = static_cast<uint32_t>(Position(now));
  paused_ = true;
}

void SongRecord::Resume(uint32_t now) {
  if (!on_ || !paused_) return;
  paused_ = false;
  set_at_ = now;
}

void SongRecord::Seek(uint32_t ms, uint32_t now) {
  on_ = true;  // a song that ended or was stopped plays again from there
  position_ = ms;
  set_at_ = now;
}

int64_t SongRecord::Position(uint32_t now) const {
  if (!on_) return -1;
  if (paused_) return position_;
  return int64_t{position_} + static_cast<uint32_t>(now - set_at_);
}
