#pragma once
// Process, module and counter calls: the kernel32 subset this program uses.
#include "windef.h"

// The counter runs on the monotonic clock in nanoseconds (frequency 10^9),
// or on the shared virtual clock while that is switched on (virtualclock.h).
BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency);

// module null: the running executable. Returns the number of characters
// copied without the terminating zero; a path that does not fit is cut to
// size - 1 characters and the result is size.
DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);
#define GetModuleFileName GetModuleFileNameA
HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName);
#define GetModuleHandle GetModuleHandleA

DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD error);
DWORD WINAPI GetTickCount(void);
void WINAPI Sleep(DWORD milliseconds);
