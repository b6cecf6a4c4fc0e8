corva_library(corva_circuit SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/main_circuit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/transient_solver.cpp
  ${CMAKE_CURRENT_LIST_DIR}/output_stage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/output_stage_solver.cpp
  ${CMAKE_CURRENT_LIST_DIR}/decimator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/circuit_engine.cpp)
# The solvers' small fixed-size loops gain a lot from full unrolling; the arithmetic
# stays strict IEEE (no fast-math). Nothing here reads errno or traps on floating-point
# exceptions, so the compiler may schedule the math freely; every value stays the same.
# Products and sums are never fused into one rounding (-ffp-contract=off), whatever CPU
# a packager targets, so every machine computes the same samples.
target_compile_options(corva_circuit PRIVATE -O3 -fno-math-errno -fno-trapping-math -ffp-contract=off)
# On x86-64 both circuits' solvers also have a vector path for CPUs with AVX2, chosen at
# run time; it computes every value exactly as the baseline code does.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  target_sources(corva_circuit PRIVATE ${CMAKE_CURRENT_LIST_DIR}/output_stage_avx2.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_circuit_avx2.cpp)
  set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/output_stage_avx2.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_circuit_avx2.cpp
    PROPERTIES COMPILE_OPTIONS "-mavx2;-ffp-contract=off")
  set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/output_stage_solver.cpp
    ${CMAKE_CURRENT_LIST_DIR}/transient_solver.cpp ${CMAKE_CURRENT_LIST_DIR}/circuit_engine.cpp
    PROPERTIES COMPILE_DEFINITIONS CORVA_VECTOR_PATHS)
endif()
