// The song's position by the player's record: see song_record.h.
#include "platform/song_record.h"

void SongRecord::Start(uint32_t now) {
  on_ = true;
  paused_ = false;
  position_ = 0;
  set_at_ = now;
}

void SongRecord::Pause(uint32_t now) {
  if (!on_) return;
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
