// Start-up of the real program (SDL window, song) and the hand-off to the launcher.
#pragma once

void Init();
void exit2menu();
void HandToLauncher();
