# The face: its model and gestures, and its drawing.
list(APPEND CORVA_UI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/face_model.h
  ${CMAKE_CURRENT_LIST_DIR}/face_model.cpp
  ${CMAKE_CURRENT_LIST_DIR}/face_draw.h
  ${CMAKE_CURRENT_LIST_DIR}/face_draw.cpp)
list(APPEND CORVA_UI_DEPS corva_face_images)
