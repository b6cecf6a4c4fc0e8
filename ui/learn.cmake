# The MIDI learn overlay.
list(APPEND CORVA_UI_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/learn_overlay.cpp)
