// kernel32 calls: the counter, the module path, the thread's last error.
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "virtualclock.h"
#include "windows.h"

namespace {

thread_local DWORD gLastError = 0;

int64_t MonotonicNanoseconds() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

}  // namespace

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count) {
    if (!count) return FALSE;
    count->QuadPart = VirtualClockEnabled() ? VirtualClockNow() : MonotonicNanoseconds();
    return TRUE;
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    if (!frequency) return FALSE;
    frequency->QuadPart = 1000000000;
    return TRUE;
}

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    if (module && module != GetModuleHandleA(nullptr)) {
        SetLastError(126);  // ERROR_MOD_NOT_FOUND
        return 0;
    }
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n < 0 || !fileName || size == 0) return 0;
    const DWORD length = static_cast<DWORD>(n);
    if (length >= size) {
        std::memcpy(fileName, path, size - 1);
        fileName[size - 1] = 0;
        SetLastError(122);  // ERROR_INSUFFICIENT_BUFFER
        return size;
    }
    std::memcpy(fileName, path, length);
    fileName[length] = 0;
    return length;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
    // The executable's image base as Windows reports it for a 32-bit program.
    return moduleName ? nullptr : reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x400000));
}

DWORD WINAPI GetLastError(void) { return gLastError; }
void WINAPI SetLastError(DWORD error) { gLastError = error; }

DWORD WINAPI GetTickCount(void) { return static_cast<DWORD>(MonotonicNanoseconds() / 1000000); }

// On the virtual clock a sleeping program's time passes at once.
void WINAPI Sleep(DWORD milliseconds) {
    if (VirtualClockEnabled())
        VirtualClockAdvance(int64_t(milliseconds) * 1000000);
    else
        usleep(static_cast<useconds_t>(milliseconds) * 1000);
}
