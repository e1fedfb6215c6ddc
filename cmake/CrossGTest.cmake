# SPDX-License-Identifier: MIT
# Tests of the Windows cross build (mingw-w64), run under Wine.
#
# GoogleTest is built from Debian's source (package googletest) with the
# cross compiler, the test programs run through CMAKE_CROSSCOMPILING_EMULATOR
# (wine), and each program is one CTest entry: starting Wine once per case
# would cost more than the cases themselves.

set(TALVI_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest sources for cross builds")
if(NOT EXISTS ${TALVI_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "Windows tests need the GoogleTest sources in ${TALVI_GTEST_SOURCE} "
                      "(Debian package googletest), or -DTALVI_TESTS=OFF")
endif()

if(NOT CMAKE_CROSSCOMPILING_EMULATOR AND CMAKE_CROSSCOMPILING)
  # Debian's /usr/bin/wine prefers the 32-bit loader whenever wine32 is
  # installed, so 64-bit programs go straight to the 64-bit loader.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    find_program(TALVI_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
    find_program(TALVI_WINE NAMES wine64 wine)
  else()
    find_program(TALVI_WINE NAMES wine)
  endif()
  if(TALVI_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TALVI_WINE})
  else()
    message(WARNING "wine not found: the Windows tests build but cannot run here")
  endif()
endif()

set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${TALVI_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
foreach(lib gtest gtest_main gmock gmock_main)
  if(TARGET ${lib} AND NOT TARGET GTest::${lib})
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()

# Registers one Windows test program. The tests' shared helpers use a few
# POSIX calls (mkdtemp); tests/win32/posix_compat.h supplies them there, and
# tests/win32/wine.cpp tells the tests whether they run under Wine.
function(talvi_windows_test target)
  target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests/win32/posix_compat.cpp
                                   ${CMAKE_SOURCE_DIR}/tests/win32/wine.cpp)
  target_compile_options(${target} PRIVATE
    "SHELL:-include ${CMAKE_SOURCE_DIR}/tests/win32/posix_compat.h")
  add_test(NAME ${target} COMMAND ${target})
  set_tests_properties(${target} PROPERTIES TIMEOUT 300)
endfunction()

# talvi_wine_com_test(name PROGRAM target FILTER pattern PEER source): the
# cases of `target` matching `pattern`, run under Wine by the Linux program
# built from `source` (with the host compiler), which maps a pseudo-terminal
# as a COM port of the prefix and plays the port's far end.
function(talvi_wine_com_test name)
  cmake_parse_arguments(W "" "PROGRAM;FILTER;PEER" "" ${ARGN})
  if(NOT TALVI_WINE OR NOT TARGET ${W_PROGRAM})
    return()
  endif()
  find_program(TALVI_HOST_CXX NAMES g++ c++)
  if(NOT TALVI_HOST_CXX)
    message(WARNING "no host C++ compiler: ${name} is not run")
    return()
  endif()
  get_filename_component(peer_name ${W_PEER} NAME_WE)
  set(peer ${CMAKE_CURRENT_BINARY_DIR}/${peer_name})
  add_custom_command(OUTPUT ${peer}
    COMMAND ${TALVI_HOST_CXX} -std=c++20 -O2 -Wall -Wextra -Werror -o ${peer} ${W_PEER} -lutil
    DEPENDS ${W_PEER} COMMENT "Building the host program ${peer_name}" VERBATIM)
  add_custom_target(${name}_peer ALL DEPENDS ${peer})
  add_test(NAME ${name}
           COMMAND ${peer} ${TALVI_WINE} $<TARGET_FILE:${W_PROGRAM}> --gtest_filter=${W_FILTER})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()
