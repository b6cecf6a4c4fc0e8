# corva::NvgCanvas: the drawing interface forwarded to NanoVG.
include(${PROJECT_SOURCE_DIR}/cmake/nanovg.cmake)
corva_library(corva_nvg_canvas
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/nvg_canvas.h ${CMAKE_CURRENT_LIST_DIR}/nvg_canvas.cpp
  DEPS corva_nanovg)
