#pragma once
// The Win32 subset this program uses, on SDL2. Each group of calls has its
// own header; this one gathers them as <windows.h> does.
#include "windef.h"
#include "winbase.h"
#include "wingdi.h"
#include "winuser.h"
#include "win32sdl.h"
