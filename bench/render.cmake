# corva-render: offline render and benchmark tool for the engine and effects chain.
add_library(corva_render_session STATIC
  ${CMAKE_CURRENT_LIST_DIR}/render_session.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pitch_estimate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wav_file.cpp)
target_include_directories(corva_render_session PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(corva_render_session PUBLIC corva_circuit)
if(TARGET corva_effects)
  target_link_libraries(corva_render_session PUBLIC corva_effects)
  target_compile_definitions(corva_render_session PRIVATE CORVA_RENDER_EFFECTS)
endif()
corva_warnings(corva_render_session)

add_executable(corva-render ${CMAKE_CURRENT_LIST_DIR}/render_main.cpp)
target_link_libraries(corva-render PRIVATE corva_render_session)
corva_warnings(corva-render)
