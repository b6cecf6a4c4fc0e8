# Makes the face images afresh into OUT and fails unless they are exactly the images
# kept in SOURCE, file for file.
file(REMOVE_RECURSE ${OUT})
execute_process(COMMAND ${PYTHON} ${SOURCE}/make_face_images.py ${OUT} RESULT_VARIABLE made)
if(NOT made EQUAL 0)
  message(FATAL_ERROR "make_face_images.py failed (${made})")
endif()
file(GLOB made_files RELATIVE ${OUT} ${OUT}/*)
file(GLOB kept_files RELATIVE ${SOURCE} ${SOURCE}/*.png ${SOURCE}/*.jpg)
list(SORT made_files)
list(SORT kept_files)
if(NOT made_files STREQUAL kept_files)
  message(FATAL_ERROR "the script makes ${made_files}, but resources/face keeps ${kept_files}")
endif()
foreach(name ${made_files})
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${SOURCE}/${name} ${OUT}/${name}
                  RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    message(FATAL_ERROR "${name}: the script no longer makes the kept file; run "
                        "resources/face/make_face_images.py resources/face and review the images")
  endif()
endforeach()
message(STATUS "the ${made_files} made afresh equal the kept files")
