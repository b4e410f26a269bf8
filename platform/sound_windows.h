// What the Windows song's device and decoder say of themselves, apart from the player's record:
// the checks under Wine read it to know that the song really plays, holds and moves.
#pragma once
#include <cstdint>

struct SongDeviceReport {
  bool open;           // a device and the song: false when the demo runs silently
  int64_t heard_ms;    // where the device is in the song: where it was last reset, plus what it
                       // has played since
  int64_t decoded_ms;  // how far the decoder has fed it (-1: it does not know)
};
SongDeviceReport ReportSongDevice();
