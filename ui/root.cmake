# UiModel, the draw root and the pointer dispatch. The MIDI map comes from the shared
# model library.
list(APPEND CORVA_UI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/ui_model.h
  ${CMAKE_CURRENT_LIST_DIR}/ui_model.cpp
  ${CMAKE_CURRENT_LIST_DIR}/draw_root.h
  ${CMAKE_CURRENT_LIST_DIR}/draw_root.cpp)
list(APPEND CORVA_UI_DEPS corva_model)
