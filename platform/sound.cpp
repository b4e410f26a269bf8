// The song, played once by SDL_mixer beside the demo. Its absence only makes the demo silent.
#include "platform/sound.h"

#include <SDL_mixer.h>

#include <cstdio>
#include <string>

#include "platform/data_files.h"
#include "platform/platform.h"
#include "platform/song_record.h"

namespace {
Mix_Music* music = nullptr;
bool audio_open = false;

SongRecord record;
}  // namespace

void SoundInit() {
  audio_open = Mix_OpenAudio(22050, AUDIO_S16LSB, 2, 2048) == 0;
  if (!audio_open) {
    std::fprintf(stderr, "glasswhirligo: no audio (%s); running silently\n", Mix_GetError());
    return;
  }
  const std::string song = FindDataFile("demosong.ogg");
  if (song.empty()) {
    std::fprintf(stderr,
                 "glasswhirligo: cannot find demosong.ogg (looked in %s); running silently\n",
                 DataFoldersText().c_str());
    return;
  }
  music = Mix_LoadMUS(song.c_str());
  if (!music)
    std::fprintf(stderr, "glasswhirligo: cannot load demosong.ogg (%s); running silently\n",
                 Mix_GetError());
}

void PlaySong() {
  if (!music) return;
  record.Start(platform.ticks());  // from the start, not paused...
  if (Mix_PlayMusic(music, 0) != 0) record.Stop();  // ...and silent when the mixer refuses
}

void SoundEnd() {
  StopSong();
  if (music) Mix_FreeMusic(music);
  music = nullptr;
  if (audio_open) Mix_CloseAudio();
  audio_open = false;
}

void InitMusic() {
  SoundInit();
  PlaySong();
}

bool SongLoaded() { return music != nullptr; }

void StopSong() {
  if (music) Mix_HaltMusic();
  record.Stop();
}

void PauseSong() {
  if (!record.On() || record.Paused()) return;
  Mix_PauseMusic();
  record.Pause(platform.ticks());
}

void ResumeSong() {
  if (!record.On() || !record.Paused()) return;
  Mix_ResumeMusic();
  record.Resume(platform.ticks());
}

void SeekSong(uint32_t ms) {
  if (!music) return;
  bool on = record.On();
  // A song that has played to its end (or was halted) is started again before it can move.
  if (!Mix_PlayingMusic()) {
    on = Mix_PlayMusic(music, 0) == 0;
    if (on && record.Paused()) Mix_PauseMusic();
  }
  // SDL_mixer loads the song by its name as an OGG, which it can always position; were it
  // ever refused, a silent song is truer than one playing at the wrong place.
  if (on && Mix_SetMusicPosition(ms / 1000.0) != 0) {
    Mix_HaltMusic();
    on = false;
  }
  record.Seek(ms, platform.ticks());
  if (!on) record.Stop();
}

int64_t SongPosition() { return record.Position(platform.ticks()); }
