// The demo on the headless platform: the same start-up and frames as the program, on a
// virtual clock where every frame lasts exactly its pacing and drawing costs nothing.
#pragma once

// Puts every piece of the demo's state back to what a fresh process starts with, so that a
// tool or a test can play the demo again.
void ResetDemo();

// A fresh start: the state reset, precalculation (with its loading frames and fade) and the
// start of the part clock. There is no song: the timeline runs by the clock alone. Returns
// nullptr, or the one line that says why the demo cannot start (a bad font file).
[[nodiscard]] const char* StartHeadlessDemo();

// Start-up, then frames until the timeline (or a quit request) ends the demo. Returns what
// StartHeadlessDemo returned.
[[nodiscard]] const char* RunHeadlessDemo();
