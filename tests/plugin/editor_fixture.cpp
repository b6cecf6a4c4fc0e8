#include "tests/plugin/editor_fixture.h"

#include <gtest/gtest.h>
#include <nanovg_gl2.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "tests/support/gl_offscreen.h"
#include "tests/support/png_io.h"
#include "tests/ui/fake_host.h"
#include "ui/draw_root.h"
#include "ui/nvg_canvas.h"
#include "ui/ui_model.h"

namespace corvatest {

using namespace std::chrono_literals;

std::string At(int x, int y) { return std::to_string(x) + " " + std::to_string(y); }

void Save(const Image& img, const std::string& name) {
  corva::test::writePng(std::string(CORVA_PICTURE_DIR) + "/" + name + ".png", img.w, img.h, img.rgba.data());
}

Image OffscreenPicture(int w, int h, const std::function<void(corva::UiModel&)>& prepare,
                       const std::function<void(corva::UiModel&)>& after) {
  corva::test::OffscreenGl gl;
  EXPECT_EQ(gl.open(w, h), "");
  NVGcontext* vg = nvgCreateGL2(NVG_ANTIALIAS | NVG_STENCIL_STROKES);
  corva::test::FakeHost host;
  corva::UiModel ui(&host);
  if (prepare) prepare(ui);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  nvgBeginFrame(vg, float(w), float(h), 1.f);
  corva::NvgCanvas canvas(vg);
  corva::drawUi(ui, canvas, float(w), float(h), false);
  nvgEndFrame(vg);
  Image img{w, h, gl.readRgba()};
  nvgDeleteGL2(vg);
  if (after) after(ui);
  return img;
}

double DifferingShare(const Image& a, const Image& b, int tolerance, const int rect[4]) {
  if (a.w != b.w || a.h != b.h || rect[2] <= 0 || rect[3] <= 0) return 1.0;
  const int x0 = std::max(rect[0], 0), y0 = std::max(rect[1], 0);
  const int x1 = std::min(rect[0] + rect[2], a.w), y1 = std::min(rect[1] + rect[3], a.h);
  if (x1 <= x0 || y1 <= y0) return 1.0;
  size_t differ = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      for (int c = 0; c < 3; ++c)
        if (std::abs(a.at(x, y)[c] - b.at(x, y)[c]) > tolerance) {
          ++differ;
          break;
        }
  return double(differ) / double((x1 - x0) * (y1 - y0));
}

double DifferingShare(const Image& a, const Image& b, int tolerance) {
  const int whole[4] = {0, 0, a.w, a.h};
  return DifferingShare(a, b, tolerance, whole);
}

Image Settled(ParentWindow& window) {
  Image last;
  for (int i = 0; i < 100; ++i) {
    std::this_thread::sleep_for(50ms);
    Image img;
    img.rgba = window.capture(img.w, img.h);
    const bool drawn = img.w > 0 && img.at(img.w / 2, img.h / 2)[0] != 0x40 && img.at(img.w - 2, img.h - 2)[0] != 0x40;
    if (drawn && img.rgba == last.rgba) return img;
    last = img;
  }
  return last;
}

OpenEditor::OpenEditor(Module& module, HostLoop& loop, int x, int y, bool withFrame, float contentScale)
    : loop(loop), instance(module.factory()), withFrame(withFrame), contentScale(contentScale) {
  if (!instance.ok()) return;
  openView();
  if (!view) return;
  window = std::make_unique<ParentWindow>(size.getWidth(), size.getHeight(), x, y);
  if (!window->ok()) {
    ADD_FAILURE() << "the host's window could not be made: no connection to the display";
    return;
  }
  attach();
}

void OpenEditor::openView() {
  loop.call([&] {
    view = instance.controller()->createView(Vst::ViewType::kEditor);
    if (!view) return;
    if (withFrame) view->setFrame(loop.frame());
    if (contentScale != 1.f) {
      FUnknownPtr<IPlugViewContentScaleSupport> scaling(view);
      if (scaling) scaling->setContentScaleFactor(contentScale);
    }
    view->getSize(&size);
  });
}

void OpenEditor::attach() {
  loop.call([&] { attached = view->attached(window->id(), kPlatformTypeX11EmbedWindowID) == kResultOk; });
}

void OpenEditor::closeView() {
  loop.call([&] {
    if (view) {
      if (attached) view->removed();
      view->release();
    }
  });
  view = nullptr;
  attached = false;
}

bool OpenEditor::reopen() {
  closeView();
  openView();
  if (!view || !window) return false;
  attach();
  return attached;
}

OpenEditor::~OpenEditor() { closeView(); }

}  // namespace corvatest
