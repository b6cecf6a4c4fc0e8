# Compile settings shared by every target of our own code.
# Third-party sources (NanoVG, pugl, the VST3 SDK) are compiled without them.

if(CORVA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Strict IEEE arithmetic: never let a toolchain default or a preset turn on fast-math.
add_compile_options(-fno-fast-math)

function(corva_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
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
endfunction()

# corva_fuzzer(name SOURCES ... [DEPS ...] SECONDS n CORPUS dir): a libFuzzer target,
# built only with CORVA_FUZZ (clang), and a CTest entry that runs it for n seconds
# over the kept corpus. All fuzzers hang off the target corva_fuzzers.
if(CORVA_FUZZ AND NOT TARGET corva_fuzzers)
  add_custom_target(corva_fuzzers)
endif()
function(corva_fuzzer name)
  if(NOT CORVA_FUZZ)
    return()
  endif()
  cmake_parse_arguments(A "" "SECONDS;CORPUS" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${name} PRIVATE ${A_DEPS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  corva_warnings(${name})
  add_dependencies(corva_fuzzers ${name})
  set(work ${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus)
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
            sh -c "mkdir -p '${work}' && exec '$<TARGET_FILE:${name}>' -max_total_time=${A_SECONDS} -max_len=65000 -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 '${work}' '${A_CORPUS}'")
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 900)
endfunction()
