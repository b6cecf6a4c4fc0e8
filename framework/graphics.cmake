# The editor's graphics: controls and event dispatch (IGraphics), its X11 window on pugl
# with an OpenGL 2 context and NanoVG (IGraphicsLinux), and URL opening.
include(${PROJECT_SOURCE_DIR}/cmake/nanovg.cmake)

# pugl from Debian's dpf-source: third-party C, compiled as it comes, without our
# warning flags. Debian's own libpugl-dev is a much older interface.
set(CORVA_PUGL_DIR /usr/share/dpf/dgl/src/pugl-upstream CACHE PATH "pugl sources (dpf-source)")
if(NOT EXISTS ${CORVA_PUGL_DIR}/src/x11_gl.c)
  message(FATAL_ERROR "pugl not found in ${CORVA_PUGL_DIR}: install dpf-source (scripts/install-deps)")
endif()
find_package(X11 REQUIRED COMPONENTS Xext Xrandr Xcursor)
find_package(OpenGL REQUIRED COMPONENTS OpenGL GLX)
add_library(corva_pugl STATIC
  ${CORVA_PUGL_DIR}/src/common.c ${CORVA_PUGL_DIR}/src/internal.c
  ${CORVA_PUGL_DIR}/src/x11.c ${CORVA_PUGL_DIR}/src/x11_gl.c)
target_include_directories(corva_pugl SYSTEM PUBLIC ${CORVA_PUGL_DIR}/include)
target_compile_definitions(corva_pugl PUBLIC PUGL_STATIC PUGL_DISABLE_DEPRECATED PUGL_NO_INCLUDE_GLU_H
  PRIVATE HAVE_XRANDR HAVE_XSYNC HAVE_XCURSOR)
target_compile_options(corva_pugl PRIVATE -w)
target_link_libraries(corva_pugl PUBLIC X11::X11 X11::Xext X11::Xrandr X11::Xcursor OpenGL::OpenGL OpenGL::GLX m)

corva_library(corva_framework_graphics
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/icontrol.cpp
    ${CMAKE_CURRENT_LIST_DIR}/igraphics.cpp
    ${CMAKE_CURRENT_LIST_DIR}/igraphics_linux.cpp
    ${CMAKE_CURRENT_LIST_DIR}/open_url.cpp
  DEPS corva_framework_core corva_nanovg corva_pugl)
