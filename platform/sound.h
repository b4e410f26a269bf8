// The song: SDL_mixer plays it from its own callback; the demo shares nothing with it.
#pragma once

void SoundInit();
void PlaySong();
void SoundEnd();
void InitMusic();
bool SongLoaded();
