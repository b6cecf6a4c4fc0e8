# Runs one fuzz target for SECONDS over its working corpus WORK and the kept corpus
# CORPUS, and fails when the fuzzer fails (a crash, a sanitizer report, a leak) or when
# the coverage it ends with is below FLOOR.
#   cmake -DFUZZER=path -DSECONDS=n -DWORK=dir -DCORPUS=dir -DFLOOR=edges -P run_fuzzer.cmake
foreach(v FUZZER SECONDS WORK CORPUS FLOOR)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "run_fuzzer.cmake: ${v} is not set")
  endif()
endforeach()

file(MAKE_DIRECTORY ${WORK})
if(DEFINED ENV{ASAN_OPTIONS} AND NOT "$ENV{ASAN_OPTIONS}" STREQUAL "")
  set(ENV{ASAN_OPTIONS} "$ENV{ASAN_OPTIONS}:detect_leaks=1")
else()
  set(ENV{ASAN_OPTIONS} "detect_leaks=1")
endif()

execute_process(
  COMMAND ${FUZZER} -max_total_time=${SECONDS} -max_len=65000 -rss_limit_mb=2048 -timeout=10
          -print_final_stats=1 ${WORK} ${CORPUS}
  RESULT_VARIABLE result
  OUTPUT_VARIABLE output ERROR_VARIABLE output
  ECHO_OUTPUT_VARIABLE ECHO_ERROR_VARIABLE)
if(NOT result STREQUAL "0")
  message(FATAL_ERROR "fuzzer failed (exit ${result})")
endif()

# libFuzzer's status lines carry "cov: N"; the last one is the final figure.
string(REGEX MATCHALL "cov: [0-9]+" covs "${output}")
list(LENGTH covs count)
if(count EQUAL 0)
  message(FATAL_ERROR "fuzzer printed no coverage figure")
endif()
list(GET covs -1 last)
string(REGEX REPLACE "cov: " "" coverage "${last}")
if(coverage LESS FLOOR)
  message(FATAL_ERROR "coverage ${coverage} is below the floor of ${FLOOR}")
endif()
message(STATUS "coverage ${coverage} (floor ${FLOOR})")
