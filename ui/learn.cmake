# The MIDI learn overlay.
list(APPEND CORVA_UI_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/learn_overlay.cpp)
if(TARGET corva_plugin_core)
  list(APPEND CORVA_UI_DEPS corva_plugin_core)
endif()
