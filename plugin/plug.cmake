# CorvaPlug is compiled once per deliverable, on that deliverable's framework base:
#
#   corva_plug_core(<library> BASE_HEADER <header> BASE_CLASS <class> [DEPS <libraries>] [TEST_NEWS]
#                   [STANDALONE])
#
# BASE_HEADER is included as written (a path from the source root); BASE_CLASS derives
# from iplug::IPlugAPIBase and iplug::IPlugProcessor and is constructed from
# (const iplug::InstanceInfo&, const iplug::Config&). DEPS names the base's library.
# TEST_NEWS links the test key table and the HTTPS library with the test route.
# STANDALONE adds what only the standalone program has: the About box
# (CORVA_PLUG_STANDALONE is then defined wherever the class is seen).
function(corva_plug_core name)
  cmake_parse_arguments(A "TEST_NEWS;STANDALONE" "BASE_HEADER;BASE_CLASS" "DEPS" ${ARGN})
  set(dir ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  corva_library(${name}
    SOURCES
      ${dir}/corva_plug.cpp
      ${dir}/corva_process.cpp
      ${dir}/corva_idle.cpp
      ${dir}/corva_host.cpp
      ${dir}/corva_news.cpp
      ${dir}/corva_editor.cpp
    DEPS corva_plug_support ${A_DEPS})
  # The news feed's key table and the HTTPS library: the products' own, or the test ones.
  if(A_TEST_NEWS)
    target_link_libraries(${name} PUBLIC corva_news_testkeys corva_https_test_route)
  else()
    target_link_libraries(${name} PUBLIC corva_news_key corva_https)
  endif()
  target_compile_definitions(${name} PUBLIC
    "CORVA_PLUG_BASE=${A_BASE_CLASS}" "CORVA_PLUG_BASE_HEADER=\"${A_BASE_HEADER}\"")
  if(A_STANDALONE)
    target_sources(${name} PRIVATE ${dir}/corva_about.cpp)
    target_link_libraries(${name} PUBLIC corva_desktop)
    target_compile_definitions(${name} PUBLIC CORVA_PLUG_STANDALONE=1)
  endif()
endfunction()

# What CorvaPlug uses that does not depend on its base.
corva_library(corva_plug_support
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/param_snapshot.cpp
    ${CMAKE_CURRENT_LIST_DIR}/note_gate.cpp
    ${CMAKE_CURRENT_LIST_DIR}/stats_line.cpp
    ${CMAKE_CURRENT_LIST_DIR}/corva_control.cpp
  DEPS corva_model corva_ui corva_nvg_canvas corva_news_service corva_circuit corva_effects corva_framework_core
       corva_framework_graphics)
