# The face images: made by face/make_face_images.py and kept beside it, embedded into
# corva_face_images at build time. The test face_images_reproducible checks that the
# script still makes exactly the kept files.
set(CORVA_FACE_IMAGES
  ${CMAKE_CURRENT_SOURCE_DIR}/face/panel.jpg
  ${CMAKE_CURRENT_SOURCE_DIR}/face/knob-tone.png
  ${CMAKE_CURRENT_SOURCE_DIR}/face/knob-mode.png
  ${CMAKE_CURRENT_SOURCE_DIR}/face/knob-speed.png
  ${CMAKE_CURRENT_SOURCE_DIR}/face/knob-volume.png
  ${CMAKE_CURRENT_SOURCE_DIR}/face/knob-shadow.png
  ${CMAKE_CURRENT_SOURCE_DIR}/face/led-glow.png
  ${CMAKE_CURRENT_SOURCE_DIR}/face/switch.png
  ${CMAKE_CURRENT_SOURCE_DIR}/face/strip.png)
set(face_images_cpp ${CMAKE_CURRENT_BINARY_DIR}/face_images_data.cpp)
add_custom_command(
  OUTPUT ${face_images_cpp}
  COMMAND ${CORVA_SYSTEM_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/face/embed_face_images.py
          ${face_images_cpp} ${CORVA_FACE_IMAGES}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/face/embed_face_images.py ${CORVA_FACE_IMAGES}
  COMMENT "Embedding the face images"
  VERBATIM)
corva_library(corva_face_images SOURCES ${face_images_cpp} ${CMAKE_CURRENT_SOURCE_DIR}/face_images.h)
