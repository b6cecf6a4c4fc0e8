# CorvaPlug is compiled once per deliverable, on that deliverable's framework base:
#
#   corva_plug_core(<library> BASE_HEADER <header> BASE_CLASS <class> [DEPS <libraries>])
#
# BASE_HEADER is included as written (a path from the source root); BASE_CLASS derives
# from iplug::IPlugAPIBase and iplug::IPlugProcessor and is constructed from
# (const iplug::InstanceInfo&, const iplug::Config&). DEPS names the base's library.
function(corva_plug_core name)
  cmake_parse_arguments(A "" "BASE_HEADER;BASE_CLASS" "DEPS" ${ARGN})
  set(dir ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  corva_library(${name}
    SOURCES
      ${dir}/corva_plug.cpp
      ${dir}/corva_process.cpp
      ${dir}/corva_idle.cpp
      ${dir}/corva_host.cpp
    DEPS corva_plug_support ${A_DEPS})
  target_compile_definitions(${name} PUBLIC
    "CORVA_PLUG_BASE=${A_BASE_CLASS}" "CORVA_PLUG_BASE_HEADER=\"${A_BASE_HEADER}\"")
endfunction()

# What CorvaPlug uses that does not depend on its base.
corva_library(corva_plug_support
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/param_snapshot.cpp
    ${CMAKE_CURRENT_LIST_DIR}/note_gate.cpp
    ${CMAKE_CURRENT_LIST_DIR}/stats_line.cpp
  DEPS corva_model corva_ui corva_circuit corva_effects corva_framework_core)
