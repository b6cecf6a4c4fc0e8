# Echo, reverb and the lookahead limiter that follow the circuit.
corva_library(corva_effects SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/echo.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reverb.cpp
  ${CMAKE_CURRENT_LIST_DIR}/effects_chain.cpp)
# No product and sum fused into one rounding: the same samples on every machine.
target_compile_options(corva_effects PRIVATE -ffp-contract=off)
