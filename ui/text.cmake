# Text drawing helpers and the helpers every interface layer shares: font state,
# colours. The font itself comes from corva_resources.
list(APPEND CORVA_UI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/font_state.h
  ${CMAKE_CURRENT_LIST_DIR}/colour.h
  ${CMAKE_CURRENT_LIST_DIR}/text_draw.h
  ${CMAKE_CURRENT_LIST_DIR}/text_draw.cpp
)
list(APPEND CORVA_UI_DEPS corva_resources)
