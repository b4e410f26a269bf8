// The whole show's fingerprint, one for every edition (native, ARM, Windows, WebAssembly):
// FNV-1a over the bytes of every presented frame, loading screen included, in memory order. A
// change to any pixel anywhere in the show changes it; the editions prove their frames by it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/demo.h"

// The digest the show gives today. When a change to the pictures is meant, look at the frames
// and write the new value here.
inline constexpr uint64_t kShowDigest = 0x623ee8a35ed8970aull;

class FrameDigest {
 public:
  void Add(const uint16_t* frame) { AddBytes(frame, size_t{kPixels} * 2); }
  // Part of a frame: a row of a surface whose rows have gaps between them.
  void AddBytes(const void* bytes, size_t n) {
    auto* p = static_cast<const uint8_t*>(bytes);
    for (size_t i = 0; i < n; ++i) value_ = (value_ ^ p[i]) * 0x100000001b3ull;
  }
  uint64_t value() const { return value_; }

 private:
  uint64_t value_ = 0xcbf29ce484222325ull;
};
