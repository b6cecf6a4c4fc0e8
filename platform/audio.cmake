# Audio output devices and streams over RtAudio (PulseAudio and JACK).
find_package(PkgConfig REQUIRED)
pkg_check_modules(CORVA_RTAUDIO REQUIRED IMPORTED_TARGET rtaudio)
corva_library(corva_audio_device SOURCES ${CMAKE_CURRENT_LIST_DIR}/audio_device.cpp)
target_link_libraries(corva_audio_device PRIVATE PkgConfig::CORVA_RTAUDIO)
