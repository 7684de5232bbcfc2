# Shared build rules: warnings as errors on our own code, the sanitizer build,
# and one helper per kind of target so each folder's CMakeLists stays a glob.

if(HALCYON2_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(HALCYON2_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

function(halcyon2_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror
    -Wno-missing-field-initializers)
  # GCC 12 at -O3 reports overlapping copies inside libstdc++'s own string
  # concatenation (GCC bug 105329), never in our code; the sanitizer build
  # still catches real overlapping memcpy at run time.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
endfunction()

# A static library from every .cpp under the given folders (an interface
# library while a layer has no sources yet).
function(halcyon2_layer name)
  cmake_parse_arguments(L "" "" "SOURCES;EXCLUDE;PUBLIC_INCLUDES;LINKS" ${ARGN})
  set(files)
  foreach(dir ${L_SOURCES})
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
    list(APPEND files ${found})
  endforeach()
  foreach(ex ${L_EXCLUDE})
    list(FILTER files EXCLUDE REGEX "${ex}")
  endforeach()
  if(files)
    add_library(${name} STATIC ${files})
    target_include_directories(${name} PUBLIC ${L_PUBLIC_INCLUDES})
    target_link_libraries(${name} PUBLIC ${L_LINKS})
    halcyon2_warnings(${name})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${L_PUBLIC_INCLUDES})
    target_link_libraries(${name} INTERFACE ${L_LINKS})
  endif()
endfunction()

# One executable per .cpp in a folder: tests/<layer>/<name>.cpp becomes
# test_<layer>_<name>, so a test file that does not build holds up only itself.
function(halcyon2_each_cpp dir prefix out)
  file(GLOB found CONFIGURE_DEPENDS ${dir}/*.cpp)
  set(targets)
  foreach(f ${found})
    get_filename_component(stem ${f} NAME_WE)
    set(t ${prefix}${stem})
    add_executable(${t} ${f})
    halcyon2_warnings(${t})
    list(APPEND targets ${t})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()
