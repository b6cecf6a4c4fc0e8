// The module's editor in a real X11 window under Xvfb: the in-process host embeds the
// view in a window of its own and drives it from its run loop; xdotool plays the user.
// Pictures of what the window showed are written into the build folder.

#include <gtest/gtest.h>
#include <nanovg_gl2.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <thread>

#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "tests/plugin/data_home.h"
#include "tests/ui/fake_host.h"
#include "tests/ui/gl_offscreen.h"
#include "tests/ui/png_io.h"
#include "tests/vst3/editor_host.h"
#include "tests/vst3/test_host.h"
#include "ui/draw_root.h"
#include "ui/nvg_canvas.h"

namespace {

using namespace Steinberg;
using namespace corvatest;
using namespace std::chrono_literals;

const corva::test::ScopedDataHome dataHome;

Module& TheModule() {
  static Module* m = new Module(ModulePath());
  return *m;
}

struct Image {
  int w = 0, h = 0;
  std::vector<unsigned char> rgba;
  const unsigned char* at(int x, int y) const { return &rgba[(size_t(y) * size_t(w) + size_t(x)) * 4]; }
};

void Save(const Image& img, const std::string& name) {
  corva::test::writePng(std::string(CORVA_PICTURE_DIR) + "/" + name + ".png", img.w, img.h, img.rgba.data());
}

// The interface in its default state drawn offscreen, as the picture test draws it.
Image OffscreenPicture(int w, int h) {
  corva::test::OffscreenGl gl;
  EXPECT_EQ(gl.open(w, h), "");
  NVGcontext* vg = nvgCreateGL2(NVG_ANTIALIAS | NVG_STENCIL_STROKES);
  corva::test::FakeHost host;
  corva::UiModel ui(&host);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  nvgBeginFrame(vg, float(w), float(h), 1.f);
  corva::NvgCanvas canvas(vg);
  corva::drawUi(ui, canvas, float(w), float(h), false);
  nvgEndFrame(vg);
  Image img{w, h, gl.readRgba()};
  nvgDeleteGL2(vg);
  return img;
}

// The share of pixels whose colour differs by more than `tolerance` in any channel.
double DifferingShare(const Image& a, const Image& b, int tolerance) {
  if (a.w != b.w || a.h != b.h) return 1.0;
  size_t differ = 0;
  for (int y = 0; y < a.h; ++y)
    for (int x = 0; x < a.w; ++x)
      for (int c = 0; c < 3; ++c)
        if (std::abs(a.at(x, y)[c] - b.at(x, y)[c]) > tolerance) {
          ++differ;
          break;
        }
  return double(differ) / double(a.w * a.h);
}

// One instance with its editor open in a window of the host.
class OpenEditor {
 public:
  explicit OpenEditor(HostLoop& loop, int x = 0, int y = 0) : loop(loop), instance(TheModule().factory()) {
    if (!instance.ok()) return;
    loop.call([&] {
      view = instance.controller()->createView(Vst::ViewType::kEditor);
      if (!view) return;
      view->setFrame(loop.frame());
      view->getSize(&size);
    });
    if (!view) return;
    window = std::make_unique<ParentWindow>(size.getWidth(), size.getHeight(), x, y);
    loop.call([&] { attached = view->attached(window->id(), kPlatformTypeX11EmbedWindowID) == kResultOk; });
  }
  ~OpenEditor() {
    loop.call([&] {
      if (view) {
        if (attached) view->removed();
        view->release();
      }
    });
  }
  // The window's content once two captures in a row agree (the editor has drawn).
  Image settled() {
    Image last;
    for (int i = 0; i < 100; ++i) {
      std::this_thread::sleep_for(50ms);
      Image img;
      img.rgba = window->capture(img.w, img.h);
      if (!last.rgba.empty() && img.rgba == last.rgba && img.at(img.w / 2, img.h / 2)[0] != 0x40) return img;
      last = img;
    }
    return last;
  }

  HostLoop& loop;
  Instance instance;
  IPlugView* view = nullptr;
  ViewRect size;
  std::unique_ptr<ParentWindow> window;
  bool attached = false;
};

class EditorWindow : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(TheModule().ok()) << TheModule().error(); }
  HostLoop loop;
};

TEST_F(EditorWindow, ShowsTheSamePictureAsTheOffscreenDrawing) {
  OpenEditor ed(loop);
  ASSERT_TRUE(ed.attached);
  EXPECT_EQ(ed.size.getWidth(), 648);
  EXPECT_EQ(ed.size.getHeight(), 431);
  const Image shown = ed.settled();
  Save(shown, "editor-window-648");
  const Image expected = OffscreenPicture(648, 431);
  Save(expected, "editor-offscreen-648");
  EXPECT_LT(DifferingShare(shown, expected, 24), 0.01);
}

}  // namespace
