# Replacing a file's whole content at once.
corva_library(corva_replace_file SOURCES ${CMAKE_CURRENT_LIST_DIR}/replace_file.cpp)
