// Everything the show carries from one frame to the next, copied out of its globals and back:
// the player keeps such copies along the timeline so that a seek replays only a few seconds.
// Start-up tables are not in it (they never change once built), nor the per-object working
// arrays that each drawing recomputes before reading.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class ShowState {
 public:
  // Clock readings (the part clock's start, the pacing point) are kept relative to `clock_base`
  // and put back relative to the base given to Load, so a state moves between clocks.
  void Save(uint32_t clock_base);
  void Load(uint32_t clock_base) const;
  size_t bytes() const { return data_.capacity() + sizeof *this; }
  bool operator==(const ShowState&) const = default;

 private:
  std::vector<uint8_t> data_;
  uint32_t partime_ = 0, frametime_ = 0, atime_ = 0;
};

// Moves every clock reading the show holds by `ms` (a pause, or a change of clock).
void ShiftShowClocks(uint32_t ms);
