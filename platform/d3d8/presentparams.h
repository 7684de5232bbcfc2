#pragma once
// How a device completes the present parameters a program leaves open, as
// Direct3D does: a windowed back buffer of size 0 takes the window's client
// size, an unknown windowed format the desktop's, and there is always at
// least one back buffer. Both back ends measure the window; the rules are
// these alone.
#include <d3d8.h>

namespace d3d8 {

// The size of a window the stand-in cannot measure (none given, or the
// trace back end's, which has none).
constexpr UINT UNMEASURED_WINDOW_WIDTH = 640;
constexpr UINT UNMEASURED_WINDOW_HEIGHT = 480;

// desktopFormat D3DFMT_UNKNOWN leaves the format as it is.
void CompletePresentParams(D3DPRESENT_PARAMETERS& params, UINT windowWidth, UINT windowHeight, D3DFORMAT desktopFormat);

}  // namespace d3d8
