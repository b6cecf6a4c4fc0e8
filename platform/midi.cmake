# MIDI input and output ports over RtMidi (ALSA sequencer, else JACK MIDI).
find_package(PkgConfig REQUIRED)
pkg_check_modules(CORVA_RTMIDI REQUIRED IMPORTED_TARGET rtmidi)
corva_library(corva_midi_port SOURCES ${CMAKE_CURRENT_LIST_DIR}/midi_port.cpp)
target_link_libraries(corva_midi_port PRIVATE PkgConfig::CORVA_RTMIDI corva_jack_server)
