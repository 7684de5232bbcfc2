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

// Files and read-only file mappings, over POSIX descriptors and mmap. Only
// opening an existing file is offered; sharing modes, security attributes
// and templates are accepted and ignored. Failures set the thread's last
// error to the code Windows gives for the same cause.
typedef struct _SECURITY_ATTRIBUTES SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define OPEN_EXISTING 3
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define PAGE_READONLY 0x02u
#define FILE_MAP_READ 0x0004u

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INVALID_ADDRESS 487L
#define ERROR_FILE_INVALID 1006L
#define ERROR_MAPPED_ALIGNMENT 1132L

HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                          DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);
#define CreateFile CreateFileA
// The low 32 bits of the size; the high ones go to *sizeHigh when given.
DWORD WINAPI GetFileSize(HANDLE file, LPDWORD sizeHigh);
// maximumSize 0 maps the whole file; an empty file cannot be mapped.
HANDLE WINAPI CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protect, DWORD maximumSizeHigh,
                                 DWORD maximumSizeLow, LPCSTR name);
#define CreateFileMapping CreateFileMappingA
// The offset is a multiple of 65536 (the allocation granularity); 0 bytes
// maps from the offset to the end of the mapping.
LPVOID WINAPI MapViewOfFile(HANDLE mapping, DWORD desiredAccess, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytesToMap);
BOOL WINAPI UnmapViewOfFile(LPCVOID baseAddress);
// Closes a file or mapping handle. A view keeps its mapping's file readable
// after both handles are closed, as on Windows.
BOOL WINAPI CloseHandle(HANDLE object);
