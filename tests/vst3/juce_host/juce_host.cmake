# A debug JUCE-based host over the module, built from the JUCE sources Debian ships
# (juce-modules-source-data), with JUCE's assertions on. Opt-in: it compiles a large part
# of JUCE.
set(_juce ${CORVA_VST3_SDK_DIR}/../../..)
set(_mods juce_core juce_events juce_data_structures juce_graphics juce_gui_basics juce_gui_extra
          juce_audio_basics juce_audio_processors)
set(_srcs)
foreach(m ${_mods})
  list(APPEND _srcs ${_juce}/${m}/${m}.cpp)
endforeach()
add_executable(corva_juce_host ${CMAKE_CURRENT_LIST_DIR}/juce_host.cpp ${_srcs})
set_target_properties(corva_juce_host PROPERTIES CXX_STANDARD 17)
target_include_directories(corva_juce_host SYSTEM PRIVATE ${_juce} ${CORVA_VST3_SDK_DIR} /usr/include/freetype2)
target_compile_definitions(corva_juce_host PRIVATE
  DEBUG=1 _DEBUG=1 JUCE_PLUGINHOST_VST3=1 JUCE_PLUGINHOST_LADSPA=0 JUCE_PLUGINHOST_LV2=0
  JUCE_WEB_BROWSER=0 JUCE_USE_CURL=0 JUCE_MODAL_LOOPS_PERMITTED=1
  JUCE_GLOBAL_MODULE_SETTINGS_INCLUDED=1 JUCE_STANDALONE_APPLICATION=1)
foreach(m ${_mods})
  target_compile_definitions(corva_juce_host PRIVATE JUCE_MODULE_AVAILABLE_${m}=1)
endforeach()
# JUCE's own sources are not held to our warning flags.
target_compile_options(corva_juce_host PRIVATE -w -O0 -g "SHELL:-include ${CMAKE_CURRENT_LIST_DIR}/assert_hook.h")
target_link_libraries(corva_juce_host PRIVATE freetype png jpeg z ${CMAKE_DL_LIBS} Threads::Threads rt)
add_dependencies(corva_juce_host corva_vst3_module)
add_test(NAME vst3_juce_host COMMAND ${CMAKE_CURRENT_LIST_DIR}/run.sh $<TARGET_FILE:corva_juce_host> ${CORVA_VST3_BUNDLE})
set_tests_properties(vst3_juce_host PROPERTIES TIMEOUT 120 LABELS juce)
