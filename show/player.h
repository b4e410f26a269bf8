// The player on top of the self-running show: pause, ten seconds back or forward, the previous
// or next part, a restart from the loading screen, full screen. A seek is exact: the show is
// put in the state a replay from its start on the virtual clock has at that moment, and goes on
// from there on the clock it runs by. Copies of the whole state along the timeline (built in
// the pacing waits' spare time) keep each replay short.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// What CheckJoy collected for the player: every request but quitting.
extern uint32_t pending_requests;

// After start-up, once the part clock runs: the show as it is now becomes the replays' start.
void StartPlayer();

// Between two frames: answers the collected requests. A paused show waits here for events.
void AnswerRequests();

// Why a restart could not start the show again (the font file went bad), or nullptr. The show
// has ended then, and the program ends as a failed start does.
const char* RestartFault();

// Show time: milliseconds since the part clock first started, where the song is.
int64_t ShowTime();
bool ShowPaused();

// Puts the show at show time t and presents the frame a replay shows then: the last frame
// presented at or before t (before the start: the first part's first frame; past the end: the
// last frame, after which the show ends as it always does).
void SeekShow(int64_t t);

// A fresh show on the headless platform with the player, put at show time t as a seek puts it
// (glasswhirligo-capture --seek, the page's test mode). Returns nullptr, or the start-up's fault
// (see StartHeadlessDemo); *reached is false when the show ends by t (and nothing moved).
[[nodiscard]] const char* SeekFreshShow(uint32_t t, bool* reached);

// The show time at which the show ends (its clock after the last frame); whether it has ended
// by show time t (replaying only as far as needed to know).
uint32_t ShowEnd();
bool ShowEndsBy(uint32_t t);

// The timeline as far as replays have met it: whether they met its end (the copies are then all
// built), and the show time at which each part's run of frames begins.
bool TimelineWhole();
std::vector<uint32_t> PartStarts();

// The state copies: built now rather than in spare time; their number and memory.
void BuildSnapshots();
size_t SnapshotCount();
size_t SnapshotBytes();
