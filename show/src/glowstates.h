#pragma once
#include <d3d8.h>

// Render states shared by everything that glows: the texture modulated by the
// vertex colour, added to the frame by its alpha, never writing depth, so
// glows never hide one another. Glows inside a scene test depth against it
// (w-buffer); screen-wide layers pass D3DZB_FALSE.
void SetGlowStates(IDirect3DDevice8* d, D3DZBUFFERTYPE depthTest = D3DZB_USEW);
