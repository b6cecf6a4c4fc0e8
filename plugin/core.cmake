corva_library(corva_plugin_core
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/midi_map.cpp
    ${CMAKE_CURRENT_LIST_DIR}/midi_dispatch.cpp
    ${CMAKE_CURRENT_LIST_DIR}/midi_map_file.cpp
    ${CMAKE_CURRENT_LIST_DIR}/data_folder.cpp
  DEPS corva_params)
