corva_library(corva_params SOURCES ${CMAKE_CURRENT_LIST_DIR}/param_table.cpp)
