# The effects panel: model, interaction, tap tempo and drawing.
list(APPEND CORVA_UI_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/lerp_colour.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/effects_panel_model.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/tap_tempo.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/effects_panel_draw.cpp)
if(TARGET corva_resources)
  list(APPEND CORVA_UI_DEPS corva_resources)
endif()
