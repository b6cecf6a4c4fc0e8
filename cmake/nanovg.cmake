# NanoVG with its OpenGL 2 back end, from Debian's dpf-source, as the library
# corva_nanovg. The sources are copied into the build tree so that Debian's newer stb
# headers (/usr/include/stb) are found instead of the old copies beside them. It is
# third-party code: compiled as C++, without our warning flags.
if(TARGET corva_nanovg)
  return()
endif()

set(CORVA_NANOVG_SOURCE_DIR /usr/share/dpf/dgl/src/nanovg)
if(NOT EXISTS ${CORVA_NANOVG_SOURCE_DIR}/nanovg.c)
  message(FATAL_ERROR "NanoVG not found in ${CORVA_NANOVG_SOURCE_DIR}: install dpf-source")
endif()
if(NOT EXISTS /usr/include/stb/stb_image.h OR NOT EXISTS /usr/include/stb/stb_truetype.h)
  message(FATAL_ERROR "stb headers not found in /usr/include/stb: install libstb-dev")
endif()
find_package(OpenGL REQUIRED COMPONENTS OpenGL)

set(CORVA_NANOVG_DIR ${CMAKE_BINARY_DIR}/third_party/nanovg)
foreach(f nanovg.c nanovg.h nanovg_gl.h fontstash.h)
  configure_file(${CORVA_NANOVG_SOURCE_DIR}/${f} ${CORVA_NANOVG_DIR}/${f} COPYONLY)
endforeach()
file(CONFIGURE OUTPUT ${CORVA_NANOVG_DIR}/nanovg_gl2.c CONTENT [[
// The OpenGL 2 back end of NanoVG (nvgCreateGL2, nvgDeleteGL2).
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include "nanovg.h"
#define NANOVG_GL2_IMPLEMENTATION 1
#include "nanovg_gl.h"
]])

# What users of the GL2 back end include: the GL declarations it needs first.
file(CONFIGURE OUTPUT ${CORVA_NANOVG_DIR}/nanovg_gl2.h CONTENT [[
#pragma once
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include "nanovg.h"
#ifndef NANOVG_GL2
#define NANOVG_GL2 1
#endif
#include "nanovg_gl.h"
]])

set(nanovg_sources ${CORVA_NANOVG_DIR}/nanovg.c ${CORVA_NANOVG_DIR}/nanovg_gl2.c)
set_source_files_properties(${nanovg_sources} PROPERTIES LANGUAGE CXX)
add_library(corva_nanovg STATIC ${nanovg_sources})
target_include_directories(corva_nanovg SYSTEM PUBLIC ${CORVA_NANOVG_DIR})
target_include_directories(corva_nanovg SYSTEM PRIVATE /usr/include/stb)
target_compile_definitions(corva_nanovg PRIVATE STB_IMAGE_STATIC STBTT_STATIC)
target_compile_options(corva_nanovg PRIVATE -w)
target_link_libraries(corva_nanovg PUBLIC OpenGL::OpenGL m)
