# SPDX-License-Identifier: MIT
# Debian's libxbase64 in its 32-bit (i386) build, as a reference that
# nobody here wrote: the NTX interop test and bench_index drive it through
# tests/dbf/xbase32/xbase_ntx. Its amd64 build cannot serve: it reads the
# files' 4-byte integers into 8-byte longs (src/dbf/README.md).
#
# scripts/setup.sh unpacks the i386 packages under build/xbase32 (they are
# not installed: a 32-bit library beside the 64-bit one needs nothing of
# the system but g++-multilib). The program is compiled with -m32 by a
# command of its own, outside the project's flags: sanitizers and the
# project's standard library do not go into a 32-bit program.
#
# Sets TALVI_XBASE32_TOOL (the program's path) and the target xbase_ntx,
# or leaves both unset when the library or a 32-bit compiler is missing.
set(TALVI_XBASE32_ROOT "${CMAKE_SOURCE_DIR}/build/xbase32/usr" CACHE PATH
    "Where Debian's libxbase64 i386 packages are unpacked (usr/ of them)")
unset(TALVI_XBASE32_TOOL)
set(_xb_lib "${TALVI_XBASE32_ROOT}/lib/i386-linux-gnu")
if(NOT WIN32 AND NOT CMAKE_CROSSCOMPILING AND EXISTS "${_xb_lib}/libxbase64.so.1"
   AND EXISTS "${TALVI_XBASE32_ROOT}/include/xbase64/xbase64.h")
  set(_xb_src "${CMAKE_SOURCE_DIR}/tests/dbf/xbase32/xbase_ntx.cpp")
  set(_xb_out "${CMAKE_BINARY_DIR}/xbase32/xbase_ntx")
  set(_xb_cmd ${CMAKE_CXX_COMPILER} -m32 -O2 -std=c++17 -w -I${TALVI_XBASE32_ROOT}/include
              ${_xb_src} -o ${_xb_out} -L${_xb_lib} -l:libxbase64.so.1 -Wl,-rpath,${_xb_lib})
  # Whether a 32-bit program builds and runs here at all (g++-multilib, a
  # kernel that runs 32-bit programs): tried once, at configure time.
  if(NOT DEFINED TALVI_XBASE32_OK)
    file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/xbase32")
    execute_process(COMMAND ${_xb_cmd} RESULT_VARIABLE _xb_built OUTPUT_QUIET ERROR_QUIET)
    set(_xb_ok OFF)
    if(_xb_built EQUAL 0)
      execute_process(COMMAND ${_xb_out} RESULT_VARIABLE _xb_ran OUTPUT_QUIET ERROR_QUIET)
      if(_xb_ran EQUAL 2)  # its usage answer
        set(_xb_ok ON)
      endif()
    endif()
    set(TALVI_XBASE32_OK ${_xb_ok} CACHE BOOL "A 32-bit libxbase64 program builds and runs")
  endif()
  if(TALVI_XBASE32_OK)
    add_custom_command(OUTPUT ${_xb_out} COMMAND ${_xb_cmd} DEPENDS ${_xb_src}
                       COMMENT "Building the 32-bit libxbase64 program xbase_ntx" VERBATIM)
    add_custom_target(xbase_ntx ALL DEPENDS ${_xb_out})
    set(TALVI_XBASE32_TOOL ${_xb_out})
  endif()
endif()
