// The song, played once by SDL_mixer beside the demo. Its absence only makes the demo silent.
#include "platform/sound.h"

#include <SDL_mixer.h>

#include <cstdio>
#include <string>

#include "platform/data_files.h"
#include "platform/platform.h"

namespace {
Mix_Music* music = nullptr;
bool audio_open = false;

// SDL_mixer 1.2 cannot say where the song is, so the player keeps its own record: the position
// it last put the song at, and the clock reading when it did (or the position it was paused at).
bool song_on = false;  // started and neither halted nor failed to move
bool song_paused = false;
uint32_t song_position = 0;
uint32_t song_set_at = 0;

void RecordSongAt(uint32_t ms) {
  song_position = ms;
  song_set_at = platform.ticks();
}
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
  song_on = Mix_PlayMusic(music, 0) == 0;
  song_paused = false;
  RecordSongAt(0);
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
  song_on = false;
}

void PauseSong() {
  if (!song_on || song_paused) return;
  Mix_PauseMusic();
  RecordSongAt(static_cast<uint32_t>(SongPosition()));
  song_paused = true;
}

void ResumeSong() {
  if (!song_on || !song_paused) return;
  Mix_ResumeMusic();
  song_paused = false;
  RecordSongAt(song_position);
}

void SeekSong(uint32_t ms) {
  if (!music) return;
  // A song that has played to its end (or was halted) is started again before it can move.
  if (!Mix_PlayingMusic()) {
    song_on = Mix_PlayMusic(music, 0) == 0;
    if (song_on && song_paused) Mix_PauseMusic();
  }
  // SDL_mixer loads the song by its name as an OGG, which it can always position; were it
  // ever refused, a silent song is truer than one playing at the wrong place.
  if (song_on && Mix_SetMusicPosition(ms / 1000.0) != 0) {
    Mix_HaltMusic();
    song_on = false;
  }
  RecordSongAt(ms);
}

int64_t SongPosition() {
  if (!song_on) return -1;
  if (song_paused) return song_position;
  return static_cast<int64_t>(song_position) + static_cast<uint32_t>(platform.ticks() - song_set_at);
}
