# Keeping a shared object loaded while a background thread runs its code.
corva_library(corva_module_pin SOURCES ${CMAKE_CURRENT_LIST_DIR}/module_pin.cpp DEPS ${CMAKE_DL_LIBS})
