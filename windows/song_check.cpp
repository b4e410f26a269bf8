// The song on a real waveOut device, on the real clock (under Wine in the checks, with a device
// that plays to nowhere): after a start and after a seek the device plays on from there, it holds
// while paused, and after a stop and a new start (Home) it plays again from 0:00. Prints what the
// device and the decoder said at each step; exits 1 at the first step that is wrong, 2 when
// there is no device.
#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"
#include "platform/sound.h"
#include "platform/sound_windows.h"

namespace {

uint32_t Clock() { return timeGetTime(); }

SongDeviceReport After(DWORD ms, const char* step) {
  Sleep(ms);
  const SongDeviceReport r = ReportSongDevice();
  std::printf("%-34s heard %6lld ms, decoded %6lld ms, the record says %6lld ms\n", step,
              static_cast<long long>(r.heard_ms), static_cast<long long>(r.decoded_ms),
              static_cast<long long>(SongPosition()));
  return r;
}

void Expect(bool ok, const char* what) {
  if (ok) return;
  std::printf("song check failed: %s\n", what);
  SoundEnd();
  std::exit(1);
}

bool Within(int64_t v, int64_t low, int64_t high) { return v >= low && v <= high; }

}  // namespace

int main() {
  UseHeadlessPlatform();
  platform.ticks = Clock;
  timeBeginPeriod(1);
  SoundInit();
  if (!ReportSongDevice().open) {
    std::printf("song check: no sound device\n");
    return 2;
  }
  // Wide bounds above: a busy machine oversleeps, and a device that plays to nowhere may play
  // faster than real time. The bounds below are what matters.
  PlaySong();
  SongDeviceReport r = After(600, "0.6 s after the start");
  Expect(Within(r.heard_ms, 250, 10000), "the device does not play after the start");
  Expect(r.decoded_ms >= r.heard_ms, "the decoder is behind the device");

  PauseSong();
  // At once: the buffers still queued would play out in a moment on a device left running.
  const SongDeviceReport held = After(0, "paused");
  r = After(500, "0.5 s later, paused");
  Expect(r.heard_ms - held.heard_ms < 40, "the device plays on while paused");

  ResumeSong();
  r = After(500, "0.5 s after the resume");
  Expect(Within(r.heard_ms - held.heard_ms, 250, 10000), "the device does not play after the resume");

  SeekSong(60000);
  r = After(500, "0.5 s after a seek to 60 s");
  Expect(Within(r.heard_ms, 60250, 70000), "the device does not play on from the seek");
  Expect(Within(r.decoded_ms, r.heard_ms, 72000), "the decoder is not where the seek put it");

  PauseSong();
  SeekSong(120000);
  r = After(500, "paused, 0.5 s after a seek to 120 s");
  Expect(Within(r.heard_ms, 120000, 120040), "a seek while paused plays");
  ResumeSong();
  r = After(500, "0.5 s after the resume");
  Expect(Within(r.heard_ms, 120250, 130000), "the device does not play after a seek while paused");
  PauseSong();

  // Home while paused: the song stops, the loading screen runs, and the song starts again from
  // its beginning.
  StopSong();
  Sleep(300);
  PlaySong();
  r = After(500, "0.5 s after a stop and a new start");
  Expect(Within(r.heard_ms, 250, 10000), "the song does not play from 0:00 after a new start");
  Expect(r.decoded_ms < 12000, "the decoder did not go back to the song's start");

  SoundEnd();
  std::printf("song check: the device plays, holds, seeks and starts again as the player asks\n");
  return 0;
}
