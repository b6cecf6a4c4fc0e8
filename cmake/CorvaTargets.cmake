# Compile settings shared by every target of our own code.
# Third-party sources (NanoVG, pugl, the VST3 SDK) are compiled without our warning flags.

if(CORVA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# The fuzz build compiles every library, third-party ones included, with the fuzzers'
# coverage instrumentation and the sanitizers: a fuzzer only sees and checks the code
# that carries them, and most of what a fuzzer drives sits in libraries. Only the
# fuzz targets themselves link libFuzzer's main (corva_fuzzer below).
if(CORVA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "CORVA_FUZZ needs clang (configure with CC=clang CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Strict IEEE arithmetic: never let a toolchain default or a preset turn on fast-math.
add_compile_options(-fno-fast-math)

function(corva_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(CORVA_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# corva_library(name SOURCES ... [DEPS ...]): a static library of our own code.
function(corva_library name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(A_DEPS)
    target_link_libraries(${name} PUBLIC ${A_DEPS})
  endif()
  corva_warnings(${name})
endfunction()

# corva_test(name SOURCES ... [DEPS ...] [LABELS ...] [RUN_UNDER ...]): a GoogleTest program
# registered with CTest; RUN_UNDER is a command line the program runs under (xvfb-run ...).
function(corva_test name)
  if(NOT CORVA_TESTS)
    return()
  endif()
  cmake_parse_arguments(A "" "TIMEOUT" "SOURCES;DEPS;LABELS;RUN_UNDER" ${ARGN})
  find_package(GTest REQUIRED)
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  corva_warnings(${name})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${A_RUN_UNDER} $<TARGET_FILE:${name}> --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${A_TIMEOUT})
  if(A_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${A_LABELS}")
  endif()
  # No test reaches past this machine: a fetch the product starts by itself (the news
  # feed, when an editor opens) goes to a proxy at a closed local port, while local
  # addresses are still reached directly. Tests labelled https route the maker's host
  # to a local server of their own instead.
  if(CORVA_SANITIZE)
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT
      "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/support/lsan.supp")
  endif()
  if(NOT "https" IN_LIST A_LABELS)
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT
      "https_proxy=http://127.0.0.1:1" "no_proxy=localhost,127.0.0.1")
  endif()
endfunction()

# corva_fuzzer(name SOURCES ... [DEPS ...] SECONDS n CORPUS dir COVERAGE_FLOOR edges):
# a libFuzzer target, built only with CORVA_FUZZ (clang), and a CTest entry that runs it
# for n seconds over the kept corpus and fails when it crashes or when the coverage it
# ends with (libFuzzer's final cov: figure) is below the floor. The floor catches a
# fuzzer that has gone blind, for example to code that lost its instrumentation; keep it
# with margin below what a run of that length reaches on a loaded machine.
# All fuzzers hang off the target corva_fuzzers.
if(CORVA_FUZZ AND NOT TARGET corva_fuzzers)
  add_custom_target(corva_fuzzers)
endif()
function(corva_fuzzer name)
  if(NOT CORVA_FUZZ)
    return()
  endif()
  cmake_parse_arguments(A "" "SECONDS;CORPUS;COVERAGE_FLOOR" "SOURCES;DEPS" ${ARGN})
  foreach(required SECONDS CORPUS COVERAGE_FLOOR)
    if(NOT DEFINED A_${required})
      message(FATAL_ERROR "corva_fuzzer(${name}): ${required} is required")
    endif()
  endforeach()
  add_executable(${name} ${A_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${A_DEPS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  corva_warnings(${name})
  add_dependencies(corva_fuzzers ${name})
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND}
      -DFUZZER=$<TARGET_FILE:${name}>
      -DSECONDS=${A_SECONDS}
      -DWORK=${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus
      -DCORPUS=${A_CORPUS}
      -DFLOOR=${A_COVERAGE_FLOOR}
      -P ${PROJECT_SOURCE_DIR}/cmake/run_fuzzer.cmake)
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 900)
endfunction()
