// Headless backend: a virtual clock that only pacing waits move, and no window.
#include "platform/platform.h"

namespace {

uint32_t virtual_ticks = 0;
uint32_t queued_requests = 0;
FrameHook frame_hook = nullptr;
void* frame_hook_user = nullptr;
WaitHook wait_hook = nullptr;
void* wait_hook_user = nullptr;
bool headless_fullscreen = false;

uint32_t HeadlessTicks() { return virtual_ticks; }

void HeadlessIdle(uint32_t until) {
  // Only forwards: a target behind the clock means the wait is already over.
  if (static_cast<int32_t>(until - virtual_ticks) > 0) virtual_ticks = until;
}

void HeadlessPresent(const uint16_t* frame) {
  if (frame_hook) frame_hook(frame, virtual_ticks, frame_hook_user);
}

uint32_t HeadlessPoll() {
  uint32_t r = queued_requests;
  queued_requests = 0;
  return r;
}

uint32_t HeadlessWait() {
  if (wait_hook) wait_hook(wait_hook_user);
  return HeadlessPoll();
}

void HeadlessToggleFullscreen() { headless_fullscreen = !headless_fullscreen; }

constexpr Platform kHeadless{HeadlessTicks, HeadlessIdle,  HeadlessPresent,
                             HeadlessPoll,  HeadlessWait,  HeadlessToggleFullscreen};

}  // namespace

void UseHeadlessPlatform() {
  platform = kHeadless;
  queued_requests = 0;
  headless_fullscreen = false;
}

void SetVirtualTicks(uint32_t ms) { virtual_ticks = ms; }
uint32_t VirtualTicks() { return virtual_ticks; }

void SetFrameHook(FrameHook hook, void* user) {
  frame_hook = hook;
  frame_hook_user = user;
}

void QueueHeadlessRequest(uint32_t requests) { queued_requests |= requests; }

void QueueHeadlessSeek(uint32_t show_ms) {
  requested_seek_ms = show_ms;
  queued_requests |= kRequestSeek;
}

void SetWaitHook(WaitHook hook, void* user) {
  wait_hook = hook;
  wait_hook_user = user;
}

bool HeadlessFullscreen() { return headless_fullscreen; }

Platform platform = kHeadless;
uint32_t requested_seek_ms = 0;
