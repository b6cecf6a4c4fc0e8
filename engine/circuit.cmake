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
target_compile_options(corva_circuit PRIVATE -O3 -fno-math-errno -fno-trapping-math)
