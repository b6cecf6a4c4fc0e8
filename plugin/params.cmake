# The parameter table and the mapping of a value to its 0..1 control position; shared by
# the interface, the MIDI map and the plug-in.
corva_library(corva_params SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/param_table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/value_map.cpp)
