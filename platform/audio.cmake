# Audio output devices and streams: JACK over RtAudio, PulseAudio over libpulse.
find_package(PkgConfig REQUIRED)
pkg_check_modules(CORVA_RTAUDIO REQUIRED IMPORTED_TARGET rtaudio)
pkg_check_modules(CORVA_PULSE REQUIRED IMPORTED_TARGET libpulse)
pkg_check_modules(CORVA_JACK_LIB REQUIRED IMPORTED_TARGET jack)
corva_library(corva_jack_server SOURCES ${CMAKE_CURRENT_LIST_DIR}/jack_server.cpp)
target_link_libraries(corva_jack_server PRIVATE PkgConfig::CORVA_JACK_LIB)
corva_library(corva_audio_device
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/audio_device.cpp ${CMAKE_CURRENT_LIST_DIR}/pulse_output.cpp)
target_link_libraries(corva_audio_device PRIVATE PkgConfig::CORVA_RTAUDIO PkgConfig::CORVA_PULSE corva_jack_server)
