#pragma once
// What the stand-in can do, in Direct3D 8 terms, described once for every
// back end: the GL back end reports it, the trace back end starts from it.
#include <d3d8.h>

#include <vector>

namespace d3d8 {

D3DCAPS8 StandInCaps(DWORD maxTextureSize);

// The formats a texture and a depth-stencil surface may have, in the order
// of the stand-in's format table.
std::vector<D3DFORMAT> StandInTextureFormats();
std::vector<D3DFORMAT> StandInDepthStencilFormats();

}  // namespace d3d8
