# The editor: its rules unit-tested on a window-less graphics object, and the module's
# editor live in an X11 window under Xvfb, driven by the in-process host and xdotool.
if(NOT CORVA_TESTS)
  return()
endif()

corva_test(editor_rules_test SOURCES editor_rules_test.cpp DEPS corva_plug_test_core)

find_package(GTest REQUIRED)
# The shared fixture: an instance with its editor open, window captures and the same
# interface drawn offscreen.
corva_library(corva_editor_fixture SOURCES editor_fixture.cpp
  DEPS corva_vst3_editor_host corva_ui corva_nvg_canvas corva_ui_offscreen_gl corva_ui_test_support GTest::gtest)
target_compile_definitions(corva_editor_fixture PRIVATE CORVA_PICTURE_DIR="${CMAKE_CURRENT_BINARY_DIR}")

corva_test(editor_window_test SOURCES editor_window_test.cpp
  DEPS corva_editor_fixture
  TIMEOUT 600 LABELS xvfb
  # A display of its own for each run, with room for the largest editor.
  RUN_UNDER ${CMAKE_CURRENT_SOURCE_DIR}/with_xvfb.sh)
if(TARGET editor_window_test)
  add_dependencies(editor_window_test corva_vst3_module)
endif()

# A build of the module that trusts the test feed keys and lets a test route its fetches
# to a local HTTPS server; the news panel is then checked end to end in its editor.
set(news_bundle ${CMAKE_CURRENT_BINARY_DIR}/CorvaNewsTest.vst3)
corva_plug_core(corva_plug_vst3_test_news BASE_HEADER framework/iplug_vst3.h BASE_CLASS iplug::IPlugVST3
  DEPS iplug_vst3 TEST_NEWS)
corva_vst3_module_target(corva_vst3_test_news_module PLUG corva_plug_vst3_test_news
  DIR ${news_bundle}/Contents/x86_64-linux EXPORTS ${CMAKE_CURRENT_SOURCE_DIR}/news_module_exports.map
  SOURCES news_module_hook.cpp)

corva_test(editor_news_test SOURCES news_editor_test.cpp
  DEPS corva_editor_fixture corva_news_testkeys corva_news_files
  TIMEOUT 300 LABELS "xvfb;https"
  RUN_UNDER ${CMAKE_CURRENT_SOURCE_DIR}/with_xvfb.sh)
if(TARGET editor_news_test)
  add_dependencies(editor_news_test corva_vst3_test_news_module)
  target_compile_definitions(editor_news_test PRIVATE
    CORVA_PICTURE_DIR="${CMAKE_CURRENT_BINARY_DIR}"
    CORVA_NEWS_TEST_MODULE="${news_bundle}/Contents/x86_64-linux/Corva.so"
    CORVA_HTTPS_SERVER_SCRIPT="${PROJECT_SOURCE_DIR}/tests/support/https_server.py")
endif()
