# Parameters, the plug-in base classes, MIDI messages, queues, saved state and the idle timer.
find_package(Threads REQUIRED)
corva_library(corva_framework_core
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/iparam.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ieditor_delegate.cpp
    ${CMAKE_CURRENT_LIST_DIR}/iplugin_base.cpp
    ${CMAKE_CURRENT_LIST_DIR}/iplug_api_base.cpp
    ${CMAKE_CURRENT_LIST_DIR}/iplug_processor.cpp
    ${CMAKE_CURRENT_LIST_DIR}/idle_timer.cpp
  DEPS Threads::Threads)
