// The song, played once by SDL_mixer beside the demo. Its absence only makes the demo silent.
#include "platform/sound.h"

#include <SDL_mixer.h>

#include <cstdio>
#include <string>

#include "platform/data_files.h"

namespace {
Mix_Music* music = nullptr;
bool audio_open = false;
}

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
  if (music) Mix_PlayMusic(music, 0);
}

void SoundEnd() {
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
