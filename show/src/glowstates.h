#pragma once
#include <d3d8.h>

// Render states shared by everything that glows: the texture modulated by the
// vertex colour, added to the frame by its alpha, depth-tested against the
// scene (w-buffer) without writing depth, so glows never hide one another.
void SetGlowStates(IDirect3DDevice8* d);
