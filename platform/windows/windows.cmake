# The platform layer on Windows: the system's headers and libraries, our
# declarations of the sound library's calls and their back end
# (platform/windows/*.cpp, on the audio compression manager and waveOut).

# Debian's mingw-w64 ships no 64-bit import library for d3d8.dll: make one
# from its single export (decorated for stdcall on 32-bit x86).
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(d3d8_export "Direct3DCreate8@4")
  set(dlltool_flags -k)
else()
  set(d3d8_export "Direct3DCreate8")
  set(dlltool_flags)
endif()
set(d3d8_def ${CMAKE_CURRENT_BINARY_DIR}/d3d8.def)
set(d3d8_lib ${CMAKE_CURRENT_BINARY_DIR}/libd3d8.a)
file(WRITE ${d3d8_def} "LIBRARY d3d8.dll\nEXPORTS ${d3d8_export}\n")
add_custom_command(OUTPUT ${d3d8_lib}
  COMMAND ${CMAKE_DLLTOOL} ${dlltool_flags} -d ${d3d8_def} -l ${d3d8_lib}
  DEPENDS ${d3d8_def}
  COMMENT "Making the import library for d3d8.dll"
  VERBATIM)
add_custom_target(d3d8_import DEPENDS ${d3d8_lib})
add_library(d3d8 STATIC IMPORTED GLOBAL)
set_target_properties(d3d8 PROPERTIES IMPORTED_LOCATION ${d3d8_lib})
add_dependencies(d3d8 d3d8_import)

halcyon2_layer(platform
  SOURCES windows resource
  PUBLIC_INCLUDES
    ${CMAKE_CURRENT_SOURCE_DIR}/fsound/include
    ${CMAKE_CURRENT_SOURCE_DIR}/resource/include
    ${CMAKE_CURRENT_SOURCE_DIR}/windows/include
  LINKS d3d8 user32 gdi32 kernel32 winmm msacm32 windowscodecs ole32 oleaut32 uuid)
