#include "win32sdl.h"

// Placeholder until the window manager exists: no handle has an SDL window.
SDL_Window* Win32GetSDLWindow(HWND) { return nullptr; }
