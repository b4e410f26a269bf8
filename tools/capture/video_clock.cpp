// Video time of the demo's presented frames. Virtual time is counted in milliseconds and video
// frames in 1/fps seconds; both are compared in units of 1/(1000 x fps) seconds, so that no
// rounding ever moves a frame.
#include "tools/capture/capture.h"

uint64_t VideoClock::FramesBefore(uint32_t ticks) const {
  uint64_t when = static_cast<uint64_t>(ticks) * fps_ + shifted_ * 1000;
  return (when + 999) / 1000;  // video frames k with k x 1000 < when
}

uint64_t VideoClock::Present(uint32_t ticks) {
  if (any_ && ticks == last_ticks_) ++shifted_;
  any_ = true;
  last_ticks_ = ticks;
  uint64_t upto = FramesBefore(ticks);
  uint64_t n = upto > emitted_ ? upto - emitted_ : 0;
  emitted_ += n;
  return n;
}

uint64_t VideoClock::Finish(uint32_t ticks) {
  uint64_t upto = FramesBefore(ticks);
  uint64_t n = upto > emitted_ ? upto - emitted_ : 0;
  emitted_ += n;
  return n;
}

double VideoClock::Seconds(uint32_t ticks) const {
  return (static_cast<double>(ticks) * fps_ + static_cast<double>(shifted_) * 1000) /
         (1000.0 * fps_);
}
