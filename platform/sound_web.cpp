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
