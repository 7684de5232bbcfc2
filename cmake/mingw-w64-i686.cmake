# Cross-building for 32-bit Windows with Debian's mingw-w64 (the win32 thread
# model: the show, engine and framework use no C++ threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(HALCYON2_MINGW_TRIPLE i686-w64-mingw32)

set(CMAKE_C_COMPILER ${HALCYON2_MINGW_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${HALCYON2_MINGW_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER ${HALCYON2_MINGW_TRIPLE}-windres)
set(CMAKE_DLLTOOL ${HALCYON2_MINGW_TRIPLE}-dlltool)

# Headers and libraries (zlib included) only from the cross tree; programs
# from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${HALCYON2_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The framework's row routines take SSE2 for granted on x86, as every
# processor Windows has required since Windows 8 offers it. Windows keeps
# only 4-byte stack alignment at callbacks (window procedures), so functions
# realign their own frames before keeping vectors there.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
