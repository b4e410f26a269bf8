// Start-up of the real program (SDL or Win32 window, song) and the hand-off to the launcher.
#pragma once

void Init();
void exit2menu();
void HandToLauncher();
void CloseShowWindow();  // SDL's, or the Win32 window, when open

// The one way out of a start-up that cannot go on: SDL closed, the audio released, the hand-off
// to the launcher tried, then `why` on one line of stderr and exit status 1.
[[noreturn]] void StartFailed(const char* why);
