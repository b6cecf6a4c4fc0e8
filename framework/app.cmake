# The standalone wrapper on the framework core.
corva_library(iplug_app SOURCES ${CMAKE_CURRENT_LIST_DIR}/iplug_app.cpp DEPS corva_framework_core)
