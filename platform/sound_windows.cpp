// The song on Windows: stb_vorbis decodes demosong.ogg and a feeder thread keeps waveOut's few
// buffers full, so that a seek or a pause takes effect within one buffer. The player's calls move
// the decoder and the device; where the song is comes from the player's record, as natively.
// Without an audio device or the song the demo runs silently with unchanged timing: the clock is
// the window's, never the sound's.
#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/data_files.h"
#include "platform/platform.h"
#include "platform/song_record.h"
#include "platform/sound.h"
#include "platform/sound_windows.h"
#include "platform/windows_rules.h"

#include <stb/stb_vorbis.h>

namespace {

constexpr int kBuffers = 4;
constexpr int kBufferFrames = 4096;  // about 0.1 s: a seek is heard that soon

stb_vorbis* song = nullptr;
int channels = 0;
uint32_t rate = 0;
HWAVEOUT device = nullptr;
HANDLE buffer_back = nullptr;  // set by waveOut whenever it gives a buffer back
std::thread feeder;
std::mutex lock;  // the decoder, the buffers and `feeding`, between the feeder and the player
bool feeding = false;  // the decoder has more of the song for the device
bool closing = false;
WAVEHDR headers[kBuffers];
std::vector<int16_t> samples[kBuffers];
SongRecord record;
uint32_t reset_at_ms = 0;  // the song's position when the device was last emptied

// Under the lock: decodes into every buffer the device is not playing and queues it. At the
// song's end the buffers stay with the player until a seek or a new start. A paused song gets
// none until it resumes: a device emptied by a seek while paused would play the first one
// (Wine's does, though told to pause).
void FillFreeBuffers() {
  if (record.Paused()) return;
  for (int i = 0; i < kBuffers && feeding; ++i) {
    WAVEHDR& h = headers[i];
    if (h.dwFlags & WHDR_INQUEUE) continue;
    const int frames = stb_vorbis_get_samples_short_interleaved(
        song, channels, samples[i].data(), kBufferFrames * channels);
    if (frames <= 0) {
      feeding = false;
      return;
    }
    if (h.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(device, &h, sizeof h);
    h = WAVEHDR{};
    h.lpData = reinterpret_cast<LPSTR>(samples[i].data());
    h.dwBufferLength = static_cast<DWORD>(frames * channels * sizeof(int16_t));
    waveOutPrepareHeader(device, &h, sizeof h);
    waveOutWrite(device, &h, sizeof h);
  }
}

void Feed() {
  for (;;) {
    WaitForSingleObject(buffer_back, INFINITE);
    std::lock_guard<std::mutex> held(lock);
    if (closing) return;
    FillFreeBuffers();
  }
}

// Under the lock: the device gives every buffer back, paused when the song is.
void EmptyDevice(uint32_t at_ms) {
  reset_at_ms = at_ms;
  waveOutReset(device);
  if (record.Paused())
    waveOutPause(device);
  else
    waveOutRestart(device);
}

bool OpenDevice() {
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = static_cast<WORD>(channels);
  format.nSamplesPerSec = rate;
  format.wBitsPerSample = 16;
  format.nBlockAlign = static_cast<WORD>(channels * 2);
  format.nAvgBytesPerSec = rate * format.nBlockAlign;
  buffer_back = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (buffer_back == nullptr) return false;
  if (waveOutOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(buffer_back), 0,
                  CALLBACK_EVENT) != MMSYSERR_NOERROR) {
    device = nullptr;
    CloseHandle(buffer_back);
    buffer_back = nullptr;
    return false;
  }
  for (int i = 0; i < kBuffers; ++i) {
    samples[i].assign(static_cast<size_t>(kBufferFrames) * channels, 0);
    headers[i] = WAVEHDR{};
  }
  closing = false;
  feeder = std::thread(Feed);
  return true;
}

bool Audible() { return device != nullptr; }

}  // namespace

void SoundInit() {
  const std::string path = FindDataFile("demosong.ogg");
  if (path.empty()) {
    std::fprintf(stderr,
                 "glasswhirligo: cannot find demosong.ogg (looked in %s); running silently\n",
                 DataFoldersText().c_str());
    return;
  }
  int error = 0;
  song = stb_vorbis_open_filename(path.c_str(), &error, nullptr);
  if (song == nullptr) {
    std::fprintf(stderr, "glasswhirligo: cannot decode %s (error %d); running silently\n",
                 path.c_str(), error);
    return;
  }
  const stb_vorbis_info info = stb_vorbis_get_info(song);
  channels = info.channels;
  rate = info.sample_rate;
  if (channels < 1 || channels > 2 || !OpenDevice()) {
    std::fprintf(stderr, "glasswhirligo: no audio device; running silently\n");
    stb_vorbis_close(song);
    song = nullptr;
  }
}

void PlaySong() {
  if (!Audible()) return;
  std::lock_guard<std::mutex> held(lock);
  record.Start(platform.ticks());
  EmptyDevice(0);
  stb_vorbis_seek_start(song);
  feeding = true;
  FillFreeBuffers();
}

void SoundEnd() {
  if (!Audible()) return;
  StopSong();
  {
    std::lock_guard<std::mutex> held(lock);
    closing = true;
    SetEvent(buffer_back);
  }
  feeder.join();
  for (WAVEHDR& h : headers)
    if (h.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(device, &h, sizeof h);
  waveOutClose(device);
  device = nullptr;
  CloseHandle(buffer_back);
  buffer_back = nullptr;
  stb_vorbis_close(song);
  song = nullptr;
}

void InitMusic() {
  SoundInit();
  PlaySong();
}

bool SongLoaded() { return Audible(); }

void StopSong() {
  if (!Audible()) return;
  std::lock_guard<std::mutex> held(lock);
  feeding = false;
  record.Stop();
  EmptyDevice(0);
}

void PauseSong() {
  if (!record.On() || record.Paused()) return;
  std::lock_guard<std::mutex> held(lock);
  waveOutPause(device);
  record.Pause(platform.ticks());
}

void ResumeSong() {
  if (!record.On() || !record.Paused()) return;
  std::lock_guard<std::mutex> held(lock);
  waveOutRestart(device);
  record.Resume(platform.ticks());
  FillFreeBuffers();
}

void SeekSong(uint32_t ms) {
  if (!Audible()) return;
  std::lock_guard<std::mutex> held(lock);
  record.Seek(ms, platform.ticks());
  EmptyDevice(ms);
  // Past the song's end there is nothing to play, as when it has played out.
  feeding = stb_vorbis_seek(song, SongFrameAt(ms, rate)) != 0;
  FillFreeBuffers();
}

int64_t SongPosition() { return record.Position(platform.ticks()); }

SongDeviceReport ReportSongDevice() {
  if (!Audible()) return {false, -1, -1};
  std::lock_guard<std::mutex> held(lock);
  MMTIME played{};
  played.wType = TIME_SAMPLES;
  waveOutGetPosition(device, &played, sizeof played);
  // A device that cannot count samples counts bytes.
  const int64_t samples = played.wType == TIME_SAMPLES ? played.u.sample : played.u.cb / (channels * 2);
  const int64_t heard = reset_at_ms + samples * 1000 / rate;
  const int decoded = stb_vorbis_get_sample_offset(song);
  return {true, heard, decoded < 0 ? -1 : int64_t{decoded} * 1000 / rate};
}
