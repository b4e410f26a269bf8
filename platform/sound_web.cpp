// The song in the web edition: the page decodes demosong.ogg with Web Audio after the start
// gesture, and starts it here, when the part clock starts, as SDL_mixer does natively. Without
// sound (no file, no decoder, a blocked audio context) the demo runs silently with the same timing.
//
// The player's calls tell the page where the song is (which is where the show is) and whether it
// stands still; the page keeps the song it plays to that, and its bar shows it. The page hears
// of the song's place even when it cannot play it.
#include <emscripten.h>

#include "platform/platform.h"
#include "platform/sound.h"

// Resolves once the song plays (or cannot): the part clock starts after it, so the picture
// waits for the sound and not the other way round.
EM_ASYNC_JS(int, StartPageSong, (), { return (await Module.gw.playSong()) ? 1 : 0; });
EM_JS(void, StopPageSong, (), { Module.gw.stopSong(); });
EM_JS(void, PutPageSongAt, (uint32_t ms, uint32_t ticks, int paused), {
  Module.gw.songAt(ms, ticks, paused !== 0);
});

namespace {
bool audible = false;  // the page plays the song
bool song_on = false;  // between PlaySong and StopSong: the show has its song
bool song_paused = false;
uint32_t song_position = 0;  // the player's record, as natively
uint32_t song_set_at = 0;

uint32_t PositionNow() {
  return song_paused ? song_position : song_position + (platform.ticks() - song_set_at);
}

void PutSongAt(uint32_t ms) {
  song_position = ms;
  song_set_at = platform.ticks();
  PutPageSongAt(ms, song_set_at, song_paused);
}
}  // namespace

void SoundInit() {}

void PlaySong() {
  audible = StartPageSong() != 0;
  song_on = true;
  song_paused = false;
  PutSongAt(0);
}

void SoundEnd() { StopSong(); }

void InitMusic() {
  SoundInit();
  PlaySong();
}

bool SongLoaded() { return audible; }

void StopSong() {
  StopPageSong();
  audible = song_on = false;
}

void PauseSong() {
  if (!song_on || song_paused) return;
  uint32_t at = PositionNow();
  song_paused = true;
  PutSongAt(at);
}

void ResumeSong() {
  if (!song_on || !song_paused) return;
  song_paused = false;
  PutSongAt(song_position);
}

void SeekSong(uint32_t ms) {
  if (song_on) PutSongAt(ms);
}

int64_t SongPosition() { return song_on && audible ? PositionNow() : -1; }
