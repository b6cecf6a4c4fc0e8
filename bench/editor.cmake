# The editor's first-frame time, frame cost and CPU use in a real window (under Xvfb).
find_package(X11)
if(TARGET corva_plug_vst3 AND TARGET X11::X11)
  add_executable(corva-editor-bench ${CMAKE_CURRENT_LIST_DIR}/editor_bench.cpp)
  target_link_libraries(corva-editor-bench PRIVATE corva_plug_vst3 X11::X11)
  target_include_directories(corva-editor-bench PRIVATE ${PROJECT_SOURCE_DIR})
  corva_warnings(corva-editor-bench)
endif()
