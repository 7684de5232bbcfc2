# Cross-building for 32-bit Windows with Debian's mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(HALCYON2_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# The framework's row routines take SSE2 for granted on x86, as every
# processor Windows has required since Windows 8 offers it. Windows keeps
# only 4-byte stack alignment at callbacks (window procedures), so functions
# realign their own frames before keeping vectors there.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
