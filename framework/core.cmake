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
# The editor delegate holds the graphics object, whose type information lives in the
# graphics library that this core does not link: the sanitizer's dynamic-type check,
# which needs that information, is left out of this one file.
if(CORVA_SANITIZE OR CORVA_FUZZ)
  set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/ieditor_delegate.cpp PROPERTIES COMPILE_OPTIONS -fno-sanitize=vptr)
endif()
