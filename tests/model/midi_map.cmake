corva_test(midimap_map_test SOURCES midi_map_test.cpp DEPS corva_model)
corva_test(midimap_file_test SOURCES midi_map_file_test.cpp DEPS corva_model)
corva_test(midimap_file_helpers_test SOURCES file_helpers_test.cpp DEPS corva_model TIMEOUT 120)
corva_test(midimap_temp_name_test SOURCES temp_name_test.cpp DEPS corva_model)
corva_fuzzer(midimap_parse_fuzzer SOURCES parse_fuzzer.cpp DEPS corva_model
  SECONDS 20 CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus COVERAGE_FLOOR 160)
