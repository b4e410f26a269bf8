// Web backend: the page's canvas, the browser's monotonic clock and the keys the page collects.
// Built only by the web edition (web/): the demo keeps its own loop, and ASYNCIFY lets the
// pacing waits and the presents return to the browser, which would otherwise freeze.
#include <emscripten.h>

#include <algorithm>
#include <cstdint>

#include "platform/demo.h"
#include "platform/platform.h"

// The page's side (web/page/page.js) lives in Module.gw.
EM_JS(void, PutFrameOnCanvas, (const uint8_t* rgba, int size), {
  Module.gw.showFrame(HEAPU8.subarray(rgba, rgba + size));
});
EM_JS(uint32_t, TakePageRequests, (), { return Module.gw.takeRequests() >>> 0; });
EM_JS(uint32_t, TakePageSeekTarget, (), { return Module.gw.takeSeekTarget() >>> 0; });
// Resolves as soon as the page has a request: a paused show costs the browser nothing.
EM_ASYNC_JS(void, PageRequestComing, (), { await Module.gw.requestComing(); });
// One turn of the browser's tasks, without the 4 ms a chain of timers is held to. One channel
// serves every turn: a channel is a pair of ports with a pipe of the browser's behind them, and
// the thousands a show's first seconds would make pile up until a full collection, which then
// holds the page for over 100 ms on a slow device.
EM_ASYNC_JS(void, PageTurn, (), {
  if (!Module.gwTurn) {
    const channel = new MessageChannel();
    let resume = null;
    channel.port1.onmessage = () => resume();
    Module.gwTurn = () => new Promise(resolve => {
      resume = resolve;
      channel.port2.postMessage(0);
    });
  }
  await Module.gwTurn();
});

namespace {

uint8_t rgba[kPixels * 4];
double busy_since = 0;  // when the browser last handed the demo its turn
double worst_frame_ms = 0;
double busy_ms = 0;
uint32_t frames = 0;

uint32_t WebTicks() { return static_cast<uint32_t>(static_cast<uint64_t>(emscripten_get_now())); }

// A frame's busy time ends at its present; a pacing wait after it adds nothing.
void YieldToBrowser(uint32_t ms, bool frame_done) {
  if (frame_done) {
    double busy = emscripten_get_now() - busy_since;
    worst_frame_ms = std::max(worst_frame_ms, busy);
    busy_ms += busy;
    ++frames;
  }
  emscripten_sleep(ms);
  busy_since = emscripten_get_now();
}

// The last millisecond of a wait (and the player's builder's short turns for the browser) is a
// turn of the browser's tasks: a timer would take 4 ms or more. A timer for the rest stops a
// millisecond short, as some browsers fire timers a millisecond or so late: the frame would
// start that much late, and the pace never makes lost time up.
void WebIdle(uint32_t until) {
  int32_t left = static_cast<int32_t>(until - WebTicks());
  if (left > 1) {
    YieldToBrowser(static_cast<uint32_t>(left - 1), false);
  } else if (left == 1) {
    PageTurn();
    busy_since = emscripten_get_now();
  }
}

// Every presented frame gets a turn of its own, or the browser would show only the last of the
// loading screen's fade frames, which are presented without a wait between them.
void WebPresent(const uint16_t* frame) {
  ShowOnPage(frame);
  YieldToBrowser(0, true);
}

uint32_t WebPoll() {
  uint32_t r = TakePageRequests();
  if (r & kRequestSeek) requested_seek_ms = TakePageSeekTarget();
  return r;
}

// A paused show leaves the browser alone until the page has a request for it; the wait is no
// frame's work.
uint32_t WebWait() {
  uint32_t r;
  while (!(r = WebPoll())) PageRequestComing();
  busy_since = emscripten_get_now();
  return r;
}

// The page switches full screen itself, inside the key's own event: browsers allow it nowhere
// else.
void WebToggleFullscreen() {}

}  // namespace

void ShowOnPage(const uint16_t* frame) {
  // The same expansion of 5 and 6 bits to 8 as the SDL backend's conversion.
  for (int i = 0; i < kPixels; ++i) {
    uint16_t p = frame[i];
    rgba[4 * i + 0] = static_cast<uint8_t>(((p >> 11) << 3) | (p >> 13));
    rgba[4 * i + 1] = static_cast<uint8_t>((((p >> 5) & 63) << 2) | ((p >> 9) & 3));
    rgba[4 * i + 2] = static_cast<uint8_t>(((p & 31) << 3) | ((p >> 2) & 7));
    rgba[4 * i + 3] = 255;
  }
  PutFrameOnCanvas(rgba, sizeof rgba);
}

void OpenWebPlatform() {
  platform = Platform{WebTicks, WebIdle, WebPresent, WebPoll, WebWait, WebToggleFullscreen};
  ResetWebFrameTimes();
}

WebFrameTimes WebFrameTimesSoFar() {
  return WebFrameTimes{worst_frame_ms, frames ? busy_ms / frames : 0, frames};
}

void ResetWebFrameTimes() {
  busy_since = emscripten_get_now();
  worst_frame_ms = busy_ms = 0;
  frames = 0;
}
