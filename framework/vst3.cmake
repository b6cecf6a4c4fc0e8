# The VST3 SDK subset Debian ships (juce-modules-source-data), compiled from where Debian
# installs it as a library of its own, without our warning flags, and the VST3 wrapper on it.
set(CORVA_VST3_SDK_DIR /usr/share/juce/modules/juce_audio_processors/format_types/VST3_SDK
    CACHE PATH "Root of the VST3 SDK sources (pluginterfaces, base, public.sdk)")
if(NOT EXISTS ${CORVA_VST3_SDK_DIR}/pluginterfaces/base/funknown.h)
  message(FATAL_ERROR "VST3 SDK not found in ${CORVA_VST3_SDK_DIR}: install juce-modules-source-data (scripts/install-deps)")
endif()

set(_sdk ${CORVA_VST3_SDK_DIR})
add_library(corva_vst3sdk STATIC
  ${_sdk}/pluginterfaces/base/funknown.cpp
  ${_sdk}/pluginterfaces/base/coreiids.cpp
  ${_sdk}/pluginterfaces/base/ustring.cpp
  ${_sdk}/pluginterfaces/base/conststringtable.cpp
  ${_sdk}/base/source/baseiids.cpp
  ${_sdk}/base/source/fobject.cpp
  ${_sdk}/base/source/fstring.cpp
  ${_sdk}/base/source/fbuffer.cpp
  ${_sdk}/base/source/fstreamer.cpp
  ${_sdk}/base/source/fdebug.cpp
  ${_sdk}/base/source/updatehandler.cpp
  ${_sdk}/base/thread/source/flock.cpp
  ${_sdk}/public.sdk/source/common/memorystream.cpp
  ${_sdk}/public.sdk/source/common/pluginview.cpp
  ${_sdk}/public.sdk/source/vst/vstinitiids.cpp
  ${_sdk}/public.sdk/source/vst/vstbus.cpp
  ${_sdk}/public.sdk/source/vst/vstcomponentbase.cpp
  ${_sdk}/public.sdk/source/vst/vstcomponent.cpp
  ${_sdk}/public.sdk/source/vst/vsteditcontroller.cpp
  ${_sdk}/public.sdk/source/vst/vstparameters.cpp
  ${_sdk}/public.sdk/source/vst/hosting/hostclasses.cpp
  ${_sdk}/public.sdk/source/vst/hosting/pluginterfacesupport.cpp
  # ours: the view interface IDs the subset declares but never defines
  ${CMAKE_CURRENT_LIST_DIR}/vst3_iids.cpp)
# SYSTEM: the SDK's headers do not meet our warning flags; our own files still do.
target_include_directories(corva_vst3sdk SYSTEM PUBLIC ${_sdk})
target_compile_definitions(corva_vst3sdk PUBLIC RELEASE=1)
target_compile_options(corva_vst3sdk PRIVATE -w)
find_package(Threads REQUIRED)
target_link_libraries(corva_vst3sdk PUBLIC Threads::Threads)

# The module's factory and entry support (no dependency on the plug-in core).
corva_library(iplug_vst3_factory
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/vst3_factory.cpp ${CMAKE_CURRENT_LIST_DIR}/vst3_module.cpp
  DEPS corva_vst3sdk)

# The VST3 wrapper on the framework core.
corva_library(iplug_vst3
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/iplug_vst3.cpp ${CMAKE_CURRENT_LIST_DIR}/vst3_host_notifier.cpp
          ${CMAKE_CURRENT_LIST_DIR}/iplug_vst3_view.cpp
  DEPS corva_framework_core corva_framework_graphics iplug_vst3_factory corva_vst3sdk)
