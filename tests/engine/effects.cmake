corva_test(effects_test
  SOURCES limiter_test.cpp echo_test.cpp reverb_test.cpp chain_test.cpp
  DEPS corva_effects)

# Cost per second of audio; run by hand, not by CTest.
find_package(benchmark QUIET)
if(benchmark_FOUND)
  add_executable(corva-effects-bench effects_bench.cpp)
  target_link_libraries(corva-effects-bench PRIVATE corva_effects benchmark::benchmark)
  target_include_directories(corva-effects-bench PRIVATE ${PROJECT_SOURCE_DIR})
  corva_warnings(corva-effects-bench)
endif()

corva_fuzzer(effects_chain_fuzzer SOURCES chain_fuzzer.cpp DEPS corva_effects
  SECONDS 15 CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/chain-corpus COVERAGE_FLOOR 195)
