// The player: the requests answered between frames, the seek (a replay from the nearest copy of
// the show's state on a clock of the player's own), and the builder of those copies, which runs
// in the spare time of the pacing waits. A seek costs one state copy and the replay of at most
// kSnapshotEvery of show time; the builder's slices cost four state copies each.
#include "show/loading.h"
#include "show/player.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/demo.h"
#include "platform/platform.h"
#include "platform/sound.h"
#include "precalc/precalc.h"
#include "show/headless.h"
#include "show/script.h"
#include "show/show_state.h"

uint32_t pending_requests = 0;

namespace {

constexpr int64_t kStep = 10000;            // Left and Right, in ms
constexpr uint32_t kSnapshotEvery = 10000;  // show time between two copies of the state
constexpr int kFramesPerSlice = 1024;       // most frames one slice of spare time replays
constexpr int32_t kSpareMargin = 6;         // ms a slice leaves before a pacing wait ends

bool Before(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b) < 0; }

// ---- The replay clock: virtual, as in the capture tool, and the player's own ----------------

uint32_t replay_now = 0;
uint32_t replay_presented = 0;

uint32_t ReplayTicks() { return replay_now; }
void ReplayIdle(uint32_t until) {
  if (Before(replay_now, until)) replay_now = until;
}
void ReplayPresent(const uint16_t*) { replay_presented = replay_now; }
uint32_t NoRequests() { return 0; }
void NoWindow() {}
constexpr Platform kReplay{ReplayTicks, ReplayIdle, ReplayPresent, NoRequests, NoRequests, NoWindow};

// ---- The timeline as the replay met it -------------------------------------------------------

struct FrameMark {
  uint32_t presented;  // show time at which the frame was presented
  uint32_t ended;      // show time when its frame routine returned
  int part;            // the part that drew it
};

struct Snapshot {
  size_t frame;  // the state just after this frame
  ShowState state;
};

std::vector<FrameMark> marks;  // marks[n] is frame n; marks[0] the start, before any frame
std::vector<std::unique_ptr<Snapshot>> snapshots;  // in frame order; the first is the start
ShowState building;  // the builder's state, just after the last marked frame
ShowState put_aside;  // the running show, while the builder borrows the globals
bool built = false;
bool may_build = false;  // never while start-up rebuilds the tables
uint32_t next_snapshot = 0;

// ---- The running show ------------------------------------------------------------------------

Platform backend;          // the platform the show runs on, without the player's idle
uint32_t show_start = 0;   // clock reading at show time 0
bool paused = false;
uint32_t paused_at = 0;
const char* restart_fault = nullptr;
uint32_t hold_until = 0;   // after a seek: when the next frame routine starts

// Replays one frame in the globals and marks it; the last one sets quit.
void ReplayFrame() {
  int p = part;
  Script();
  marks.push_back({replay_presented, replay_now, p});
  if (quit) built = true;
}

// Replays from the builder's position, one frame at least and more while `more` says so, with
// the running show put aside and given back exactly.
template <class More>
void Build(More more) {
  if (built) return;
  Platform running = platform;
  put_aside.Save(show_start);
  platform = kReplay;
  building.Load(0);
  replay_now = marks.back().ended;
  do {
    ReplayFrame();
    if (!built && !Before(marks.back().ended, next_snapshot)) {
      snapshots.push_back(std::make_unique<Snapshot>(Snapshot{marks.size() - 1, {}}));
      snapshots.back()->state.Save(0);
      next_snapshot += kSnapshotEvery;
    }
  } while (!built && more());
  building.Save(0);
  platform = running;
  put_aside.Load(show_start);
}

// Marks frames until one is presented after show time t, or the show ends.
void Cover(int64_t t) {
  auto short_of_t = [t] { return marks.back().presented <= t; };
  if (short_of_t()) Build(short_of_t);
}

// The frame on screen at show time t.
size_t FrameAt(int64_t t) {
  Cover(std::max<int64_t>(t, 0));
  if (t < 0) return 1;
  auto after = std::upper_bound(marks.begin(), marks.end(), t,
                                [](int64_t v, const FrameMark& m) { return v < m.presented; });
  return static_cast<size_t>(after - marks.begin()) - 1;
}

// The globals as the replay has them just after frame n, on the replay clock.
void ReplayTo(size_t n) {
  auto from = std::upper_bound(snapshots.begin(), snapshots.end(), n,
                               [](size_t f, const auto& s) { return f < s->frame; });
  const Snapshot& s = **(from - 1);
  Platform running = platform;
  platform = kReplay;
  s.state.Load(0);
  replay_now = marks[s.frame].ended;
  for (size_t f = s.frame; f < n; ++f) Script();
  platform = running;
}

// The replay's clock ran on after the frame (its pacing wait); so does the running clock.
void Hold() {
  while (Before(platform.ticks(), hold_until)) platform.idle(hold_until);
}

void SeekToFrame(size_t n) {
  ReplayTo(n);
  uint32_t now = platform.ticks();
  if (paused) paused_at = now;
  show_start = now - marks[n].presented;
  ShiftShowClocks(show_start);
  hold_until = show_start + marks[n].ended;
  SeekSong(marks[n].presented);
  Flip();
  if (!paused) Hold();
}

// The first frame of the run of frames that part marks[n].part draws around frame n.
size_t PartStart(size_t n) {
  while (n > 1 && marks[n - 1].part == marks[n].part) --n;
  return n;
}

size_t NextPartStart() {
  size_t n = std::max<size_t>(FrameAt(ShowTime()), 1);
  int p = marks[n].part;
  for (size_t k = n + 1;; ++k) {
    if (k == marks.size()) {
      if (built) return k - 1;  // no part follows: the end
      Build([p] { return marks.back().part == p; });
    }
    if (marks[k].part != p) return k;
  }
}

size_t PreviousPartStart() {
  size_t start = PartStart(std::max<size_t>(FrameAt(ShowTime()), 1));
  return start > 1 ? PartStart(start - 1) : start;
}

void Pause() {
  paused = true;
  paused_at = platform.ticks();
  PauseSong();
}

// The clocks move on by the time the pause lasted, so the show goes on where it stopped.
void Resume() {
  uint32_t lasted = platform.ticks() - paused_at;
  ShiftShowClocks(lasted);
  show_start += lasted;
  hold_until += lasted;
  paused = false;
  ResumeSong();
  Hold();
}

// The start-up once more: the loading screen on the running clock, silent, then the song and
// the part clock from their starts. The state copies stay valid: the start is the same. A font
// file spoilt since the first start ends the show instead, with the fault kept for the way out.
void Restart() {
  paused = false;
  may_build = false;
  StopSong();
  ResetDemo();
  if (const char* fault = precalcs()) {
    restart_fault = fault;
    quit = 1;
    return;
  }
  PlaySong();
  partime = platform.ticks();
  show_start = partime;
  may_build = true;
}

void Answer(uint32_t r) {
  if (r & kRequestQuit) quit = 1;
  if (quit) return;
  if (r & kRequestToggleFullscreen) {
    fullscreen ^= 0x80000000u;
    platform.toggle_fullscreen();
  }
  if (r & kRequestRestart) return Restart();
  if (r & kRequestPause) paused ? Resume() : Pause();
  if (r & kRequestSeek) SeekShow(requested_seek_ms);
  if (r & kRequestBack) SeekShow(ShowTime() - kStep);
  if (r & kRequestForward) SeekShow(ShowTime() + kStep);
  if (r & kRequestPreviousPart) SeekToFrame(PreviousPartStart());
  if (r & kRequestNextPart) SeekToFrame(NextPartStart());
}

void PlayerIdle(uint32_t until) {
  auto spare = [until] { return static_cast<int32_t>(until - backend.ticks()) > kSpareMargin; };
  if (may_build && !built && spare()) {
    int frames = 0;
    Build([&] { return ++frames < kFramesPerSlice && spare(); });
  }
  backend.idle(until);
}

}  // namespace

void StartPlayer() {
  if (platform.idle != PlayerIdle) backend = platform;
  platform.idle = PlayerIdle;
  show_start = hold_until = partime;
  paused = false;
  pending_requests = 0;
  // On the virtual clock the loading screen's fade takes no time, so the pacing point is the
  // part clock's start; replays start from there whatever clock the show runs by.
  uint32_t kept = frametime;
  frametime = partime;
  snapshots.clear();
  snapshots.push_back(std::make_unique<Snapshot>(Snapshot{0, {}}));
  snapshots.back()->state.Save(show_start);
  frametime = kept;
  building = snapshots.back()->state;
  marks.assign(1, FrameMark{0, 0, part});
  built = false;
  may_build = true;
  next_snapshot = kSnapshotEvery;
}

void AnswerRequests() {
  uint32_t r = pending_requests;
  pending_requests = 0;
  Answer(r);
  while (paused && !quit) Answer(platform.wait());
}

const char* RestartFault() { return restart_fault; }

int64_t ShowTime() { return static_cast<uint32_t>((paused ? paused_at : platform.ticks()) - show_start); }
bool ShowPaused() { return paused; }

void SeekShow(int64_t t) { SeekToFrame(FrameAt(t)); }

const char* SeekFreshShow(uint32_t t, bool* reached) {
  *reached = false;
  if (const char* fault = StartHeadlessDemo()) return fault;
  StartPlayer();
  *reached = !ShowEndsBy(t);
  if (*reached) SeekShow(t);
  return nullptr;
}

uint32_t ShowEnd() {
  BuildSnapshots();
  return marks.back().ended;
}

bool ShowEndsBy(uint32_t t) {
  Cover(t);
  return built && t >= marks.back().ended;
}

bool TimelineWhole() { return built; }

std::vector<uint32_t> PartStarts() {
  std::vector<uint32_t> starts;
  for (size_t n = 1; n < marks.size(); ++n)
    if (n == 1 || marks[n].part != marks[n - 1].part) starts.push_back(marks[n].presented);
  return starts;
}

void BuildSnapshots() {
  Build([] { return true; });
}

size_t SnapshotCount() { return snapshots.size(); }

size_t SnapshotBytes() {
  size_t b = building.bytes() + put_aside.bytes() + marks.capacity() * sizeof(FrameMark);
  for (const auto& s : snapshots) b += s->state.bytes() + sizeof *s;
  return b;
}
