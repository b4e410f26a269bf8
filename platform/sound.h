// The song: SDL_mixer plays it from its own callback; the demo shares nothing with it.
#pragma once
#include <cstdint>

void SoundInit();
void PlaySong();
void SoundEnd();
void InitMusic();
bool SongLoaded();

// The player's hold on the song. Before PlaySong and after StopSong the show is silent.
void StopSong();
void PauseSong();
void ResumeSong();
void SeekSong(uint32_t ms);  // milliseconds from the song's start; keeps a paused song paused
int64_t SongPosition();      // milliseconds from its start by the player's record; -1: silent
