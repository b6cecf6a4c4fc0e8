#pragma once
// An OpenGL 2 compatibility context without any window (EGL on Mesa's surfaceless
// platform) rendering into a framebuffer object with colour and stencil, for drawing
// the interface through NanoVG in tests.

#include <string>
#include <vector>

namespace corva::test {

class OffscreenGl {
 public:
  OffscreenGl() = default;
  ~OffscreenGl();
  OffscreenGl(const OffscreenGl&) = delete;
  OffscreenGl& operator=(const OffscreenGl&) = delete;

  // Makes the context current with a w x h framebuffer bound. Returns "" on success,
  // else what failed.
  std::string open(int w, int h);
  // The framebuffer's pixels as RGBA, top row first.
  std::vector<unsigned char> readRgba() const;

  int width = 0;
  int height = 0;

 private:
  void* display_ = nullptr;
  void* context_ = nullptr;
  unsigned fbo_ = 0, colour_ = 0, depthStencil_ = 0;
};

}  // namespace corva::test
