# corva-app-bench: the standalone program's start to first frame, its audio callback
# against the plug-in alone, and a minute through a JACK dummy server (CPU, xruns).
if(TARGET corva_app_window)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(CORVA_BENCH_JACK REQUIRED IMPORTED_TARGET jack)
  add_executable(corva-app-bench ${CMAKE_CURRENT_LIST_DIR}/app_bench.cpp)
  target_link_libraries(corva-app-bench PRIVATE corva_app_window PkgConfig::CORVA_BENCH_JACK)
  target_include_directories(corva-app-bench PRIVATE ${PROJECT_SOURCE_DIR})
  corva_warnings(corva-app-bench)
endif()
