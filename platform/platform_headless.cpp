// Headless backend: a virtual clock that only pacing waits move, and no window.
#include "platform/platform.h"

namespace {

uint32_t virtual_ticks = 0;
uint32_t queued_requests = 0;
FrameHook frame_hook = nullptr;
void* frame_hook_user = nullptr;

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

}  // namespace

void UseHeadlessPlatform() {
  platform = Platform{HeadlessTicks, HeadlessIdle, HeadlessPresent, HeadlessPoll};
  queued_requests = 0;
}

void SetVirtualTicks(uint32_t ms) { virtual_ticks = ms; }
uint32_t VirtualTicks() { return virtual_ticks; }

void SetFrameHook(FrameHook hook, void* user) {
  frame_hook = hook;
  frame_hook_user = user;
}

void QueueHeadlessRequest(uint32_t requests) { queued_requests |= requests; }

Platform platform{HeadlessTicks, HeadlessIdle, HeadlessPresent, HeadlessPoll};
