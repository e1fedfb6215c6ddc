# SPDX-License-Identifier: MIT
# Seeds from the fixtures, then the fuzzer for SECONDS; any crash, leak,
# hang or sanitizer report fails the test.
execute_process(COMMAND ${MAKE_SEEDS} ${FIXTURES} ${SEEDS} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "making the seeds failed (${rc})")
endif()
execute_process(COMMAND ${FUZZER} -max_total_time=${SECONDS} -rss_limit_mb=2048 -timeout=10
                        -max_len=65536 ${SEEDS} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "fuzz_dbf failed (${rc})")
endif()
