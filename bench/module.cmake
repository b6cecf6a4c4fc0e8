# The VST3 module's cost in an in-process host against the engine alone.
# Its host comes with the tests.
if(TARGET corva_vst3_module AND (CORVA_TESTS OR CORVA_FUZZ))
  add_executable(corva-module-bench ${CMAKE_CURRENT_LIST_DIR}/module_bench.cpp)
  target_link_libraries(corva-module-bench PRIVATE corva_vst3_test_host corva_plug_support)
  target_include_directories(corva-module-bench PRIVATE ${PROJECT_SOURCE_DIR})
  corva_warnings(corva-module-bench)
  add_dependencies(corva-module-bench corva_vst3_module)
endif()
