# The news panel.
list(APPEND CORVA_UI_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/news_panel.cpp)
if(TARGET corva_news)
  list(APPEND CORVA_UI_DEPS corva_news)
endif()
