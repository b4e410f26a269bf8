// The player's record of where the song is, kept by the SDL and Windows song backends: neither
// SDL_mixer 1.2 nor waveOut can say where it is playing.
#pragma once
#include <cstdint>

// Where the song is by the player's record: the position it was last put at and the clock
// reading then, or the position it was paused at. Off (-1): never started, stopped, or no device.
class SongRecord {
 public:
  void Start(uint32_t now);
  void Stop() { on_ = false; }
  void Pause(uint32_t now);
  void Resume(uint32_t now);
  void Seek(uint32_t ms, uint32_t now);
  bool On() const { return on_; }
  bool Paused() const { return paused_; }
  int64_t Position(uint32_t now) const;

 private:
  bool on_ = false;
  bool paused_ = false;
  uint32_t position_ = 0;
  uint32_t set_at_ = 0;
};
