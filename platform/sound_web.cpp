// The song in the web edition: the page decodes demosong.ogg with Web Audio after the start
// gesture, and starts it here, when the part clock starts, as SDL_mixer does natively. Without
// sound (no file, no decoder, a blocked audio context) the demo runs silently with the same timing.
#include <emscripten.h>

#include "platform/sound.h"

// Resolves once the song plays (or cannot): the part clock starts after it, so the picture
// waits for the sound and not the other way round.
EM_ASYNC_JS(int, StartPageSong, (), { return (await Module.gw.playSong()) ? 1 : 0; });
EM_JS(void, StopPageSong, (), { Module.gw.stopSong(); });

namespace {
bool playing = false;
}

void SoundInit() {}

void PlaySong() { playing = StartPageSong() != 0; }

void SoundEnd() {
  StopPageSong();
  playing = false;
}

void InitMusic() {
  SoundInit();
  PlaySong();
}

bool SongLoaded() { return playing; }

// The page keeps the song to the clock it was started by; the player's seeks and pauses do not
// reach the page's song yet, and the page keeps no record of its position for the player.
void StopSong() {
  StopPageSong();
  playing = false;
}
void PauseSong() {}
void ResumeSong() {}
void SeekSong(uint32_t) {}
int64_t SongPosition() { return -1; }
