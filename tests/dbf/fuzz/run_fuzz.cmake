# SPDX-License-Identifier: MIT
# The fuzz target as a test, on fixed inputs only, so that it fails on a
# fault and never at random: every input in crashes/ (each once failed),
# the corpus that open-ended fuzzing grew (corpus.tar.xz, see README.md)
# and seeds made of today's fixtures. FUZZER is the libFuzzer target,
# which runs each once, or, with ROUNDS, the plain driver, which also runs
# ROUNDS changed copies of each. Any crash, leak, hang or sanitizer report
# fails the test. Looking for new faults is scripts/fuzz.sh.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
# The files the target writes stay in the build folder.
set(ENV{TALVI_FUZZ_DIR} "${WORK}/files")
file(GLOB crashes "${CRASHES}/*")
execute_process(COMMAND ${MAKE_SEEDS} ${FIXTURES} "${WORK}/seeds" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "making the seeds failed (${rc})")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${CORPUS} WORKING_DIRECTORY "${WORK}"
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "unpacking ${CORPUS} failed (${rc})")
endif()
if(DEFINED ROUNDS)
  execute_process(COMMAND ${FUZZER} ${ROUNDS} ${crashes} "${WORK}/corpus" "${WORK}/seeds"
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "an input fails (${rc}); the last one named above, or a copy of it")
  endif()
  return()
endif()
# (Given no input at all, the fuzzer would start fuzzing: never so here.)
if(crashes)
  execute_process(COMMAND ${FUZZER} -timeout=10 ${crashes} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "an input of ${CRASHES} fails again (${rc})")
  endif()
endif()
execute_process(COMMAND ${FUZZER} -runs=0 -rss_limit_mb=2048 -timeout=10 -max_len=65536
                        "${WORK}/corpus" "${WORK}/seeds" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "an input of the corpus or the seeds fails (${rc})")
endif()
