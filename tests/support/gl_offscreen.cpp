#include "tests/support/gl_offscreen.h"

#define GL_GLEXT_PROTOTYPES 1
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>

namespace corva::test {

std::string OffscreenGl::open(int w, int h) {
  auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
      eglGetProcAddress("eglGetPlatformDisplayEXT"));
  if (!getPlatformDisplay) return "eglGetPlatformDisplayEXT missing";
  EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  if (display == EGL_NO_DISPLAY) return "no surfaceless EGL display";
  display_ = display;
  EGLint major = 0, minor = 0;
  if (!eglInitialize(display, &major, &minor)) return "eglInitialize failed";
  if (!eglBindAPI(EGL_OPENGL_API)) return "no desktop OpenGL through EGL";

  const EGLint configAttribs[] = {EGL_SURFACE_TYPE,
                                  EGL_PBUFFER_BIT,
                                  EGL_RENDERABLE_TYPE,
                                  EGL_OPENGL_BIT,
                                  EGL_RED_SIZE,
                                  8,
                                  EGL_GREEN_SIZE,
                                  8,
                                  EGL_BLUE_SIZE,
                                  8,
                                  EGL_ALPHA_SIZE,
                                  8,
                                  EGL_STENCIL_SIZE,
                                  8,
                                  EGL_NONE};
  EGLConfig config = nullptr;
  EGLint count = 0;
  if (!eglChooseConfig(display, configAttribs, &config, 1, &count) || count < 1) return "no EGL config for OpenGL";
  // No version asked: Mesa then gives its newest compatibility profile, which runs
  // NanoVG's OpenGL 2 back end.
  const EGLint contextAttribs[] = {EGL_NONE};
  EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttribs);
  if (context == EGL_NO_CONTEXT) return "eglCreateContext failed";
  context_ = context;
  if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) return "surfaceless eglMakeCurrent failed";

  width = w;
  height = h;
  glGenFramebuffers(1, &fbo_);
  glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
  glGenRenderbuffers(1, &colour_);
  glBindRenderbuffer(GL_RENDERBUFFER, colour_);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
  glGenRenderbuffers(1, &depthStencil_);
  glBindRenderbuffer(GL_RENDERBUFFER, depthStencil_);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, w, h);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depthStencil_);
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return "framebuffer incomplete";
  glViewport(0, 0, w, h);
  return "";
}

std::vector<unsigned char> OffscreenGl::readRgba() const {
  const std::size_t row = static_cast<std::size_t>(width) * 4;
  std::vector<unsigned char> bottomUp(row * static_cast<std::size_t>(height));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
  std::vector<unsigned char> topDown(bottomUp.size());
  for (int y = 0; y < height; ++y)
    std::memcpy(&topDown[static_cast<std::size_t>(y) * row], &bottomUp[static_cast<std::size_t>(height - 1 - y) * row],
                row);
  return topDown;
}

OffscreenGl::~OffscreenGl() {
  if (context_) {
    if (fbo_) glDeleteFramebuffers(1, &fbo_);
    if (colour_) glDeleteRenderbuffers(1, &colour_);
    if (depthStencil_) glDeleteRenderbuffers(1, &depthStencil_);
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display_, context_);
  }
  // The display is left initialised for the rest of the process: terminating it
  // unloads Mesa's driver, whose few lasting allocations the leak checker would then
  // report without any symbol to suppress them by.
}

}  // namespace corva::test
