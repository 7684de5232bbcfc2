#pragma once
// Bridge between the Win32 stand-in and the other stand-ins: the SDL window
// behind a window handle (null when the handle names no window or the window
// has no SDL window behind it, as child controls do).
#include "windef.h"

struct SDL_Window;

SDL_Window* Win32GetSDLWindow(HWND hwnd);
