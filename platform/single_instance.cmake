# One running program per user session, and the request to present its window.
corva_library(corva_single_instance SOURCES ${CMAKE_CURRENT_LIST_DIR}/single_instance.cpp)
