#pragma once
// Bridge between the Win32 stand-in and the other stand-ins: the SDL window
// behind a window handle (null when the handle names no window or the window
// has no SDL window behind it, as child controls do).
#include "windef.h"

struct SDL_Window;

SDL_Window* Win32GetSDLWindow(HWND hwnd);

// Keeps every shared object loaded now (graphics drivers that SDL and EGL
// pulled in among them) loaded until the process ends, so their allocations
// stay attributable to them.
void Win32PinLoadedModules();
