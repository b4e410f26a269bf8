// The 3D scenes of the show: each places a start-up object by the part clock and hands it to
// the renderer.
#pragma once
#include <cstdint>

void RunScene3d(uint16_t* buffer, int scene);
void ShowCubeBilinear(uint16_t* buffer);
void ShowCubeMirror(uint16_t* buffer);
