# The body shared by both Windows toolchains: set CMAKE_SYSTEM_PROCESSOR and
# HALCYON2_MINGW_TRIPLE, then include this. Debian's mingw-w64 with the win32
# thread model: the show, engine and framework use no C++ threads.
set(CMAKE_SYSTEM_NAME Windows)

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
