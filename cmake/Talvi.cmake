# SPDX-License-Identifier: MIT
# Shared build settings: warnings, sanitizers and the layer/test helpers.

add_library(talvi_options INTERFACE)
target_compile_options(talvi_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
  -Wcast-align -Woverloaded-virtual -Wconversion -Wsign-conversion
  -Wnull-dereference -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  # GCC 12 reports -Wrestrict falsely for std::string concatenation at -O2/-O3
  # (fixed in GCC 13).
  target_compile_options(talvi_options INTERFACE -Wno-restrict)
endif()
if(TALVI_WERROR)
  target_compile_options(talvi_options INTERFACE -Werror)
endif()
if(TALVI_SANITIZE STREQUAL "address")
  target_compile_options(talvi_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(talvi_options INTERFACE -fsanitize=address,undefined)
elseif(TALVI_SANITIZE STREQUAL "thread")
  target_compile_options(talvi_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(talvi_options INTERFACE -fsanitize=thread)
elseif(NOT TALVI_SANITIZE STREQUAL "")
  message(FATAL_ERROR "TALVI_SANITIZE must be empty, 'address' or 'thread'")
endif()
find_package(Threads REQUIRED)
target_link_libraries(talvi_options INTERFACE Threads::Threads)

# The platform split: files ending in _posix.cpp build on Linux, files ending
# in _win32.cpp build on Windows, every other .cpp file builds everywhere.
function(talvi_platform_sources out dir)
  file(GLOB all CONFIGURE_DEPENDS ${dir}/*.cpp)
  set(kept)
  foreach(f IN LISTS all)
    if(WIN32 AND f MATCHES "_posix\\.cpp$")
      continue()
    endif()
    if(NOT WIN32 AND f MATCHES "_win32\\.cpp$")
      continue()
    endif()
    list(APPEND kept ${f})
  endforeach()
  set(${out} ${kept} PARENT_SCOPE)
endfunction()

# talvi_layer(name [DIR folder] [DEPS lib...]): the static library
# talvi_<name> from src/<name>/*.cpp (or src/<folder>/*.cpp for a layer in a
# folder of another, as lib/window is talvi_lib_window), with src/ on the
# include path (headers are included as "serial/serial.h",
# "ui/dialog.h", ...). Every talvi_* library in DEPS must have been configured
# before: a layer is never built without one it needs, so leaving a layer
# out of TALVI_LAYERS, or listing it after a layer above it, stops the
# configuration with the name of what is missing.
function(talvi_layer name)
  cmake_parse_arguments(L "" "DIR" "DEPS" ${ARGN})
  if(NOT L_DIR)
    set(L_DIR ${name})
  endif()
  set(L_TARGET talvi_${name})
  talvi_platform_sources(srcs ${CMAKE_SOURCE_DIR}/src/${L_DIR})
  add_library(${L_TARGET} STATIC ${srcs})
  target_include_directories(${L_TARGET} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${L_TARGET} PUBLIC talvi_options)
  foreach(dep IN LISTS L_DEPS)
    if(dep MATCHES "^talvi_" AND NOT TARGET ${dep})
      # talvi_lib_window is the layer lib/window.
      string(REGEX REPLACE "^talvi_" "" needed ${dep})
      string(REPLACE "_" "/" needed ${needed})
      message(FATAL_ERROR "${L_TARGET} needs ${dep}: list the layer '${needed}' in TALVI_LAYERS "
                          "before '${L_DIR}' (now: ${TALVI_LAYERS})")
    endif()
    target_link_libraries(${L_TARGET} PUBLIC ${dep})
  endforeach()
endfunction()

# talvi_tests(name [GLOB pattern...] [LIBS lib...] [POSIX_ONLY pattern...]):
# one GoogleTest program test_<name> from the files matching the patterns
# (relative to this CMakeLists' folder; default *.cpp), its cases registered
# with CTest one by one. Test files follow the platform split of the sources
# (*_posix_test.cpp, *_win32_test.cpp); files matching a POSIX_ONLY pattern
# are left out of the Windows build too. Nothing is made while no file
# matches. On Windows the program is one CTest entry run under the
# cross-compiling emulator (see CrossGTest.cmake).
function(talvi_tests name)
  cmake_parse_arguments(T "" "" "GLOB;LIBS;PROPERTIES;POSIX_ONLY" ${ARGN})
  if(NOT T_GLOB)
    set(T_GLOB "*.cpp")
  endif()
  set(srcs)
  foreach(pattern IN LISTS T_GLOB)
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${pattern})
    list(APPEND srcs ${found})
  endforeach()
  if(WIN32)
    list(FILTER srcs EXCLUDE REGEX "_posix_test\\.cpp$")
    foreach(pattern IN LISTS T_POSIX_ONLY)
      file(GLOB found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${pattern})
      if(found)
        list(REMOVE_ITEM srcs ${found})
      endif()
    endforeach()
  else()
    list(FILTER srcs EXCLUDE REGEX "_win32_test\\.cpp$")
  endif()
  if(NOT srcs)
    return()
  endif()
  add_executable(test_${name} ${srcs})
  target_include_directories(test_${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(test_${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main talvi_options)
  if(WIN32)
    talvi_windows_test(test_${name})
    return()
  endif()
  gtest_discover_tests(test_${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" ${T_PROPERTIES})
endfunction()

