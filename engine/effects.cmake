# Echo, reverb and the lookahead limiter that follow the circuit.
corva_library(corva_effects SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/echo.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reverb.cpp
  ${CMAKE_CURRENT_LIST_DIR}/effects_chain.cpp)
