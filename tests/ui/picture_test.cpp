// Renders the whole interface through NanoVG into an offscreen OpenGL framebuffer
// (Mesa's software rasteriser, no window system) in the states a user meets, writes
// the pictures into the build folder for review, and checks a few pixels that prove
// each state is drawn.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nanovg_gl2.h>

#include "tests/support/gl_offscreen.h"
#include "tests/support/png_io.h"
#include "tests/ui/fake_host.h"
#include "ui/draw_root.h"
#include "ui/nvg_canvas.h"

namespace corva {
namespace {

using test::FakeHost;

struct Rgb {
  int r, g, b;
  int sum() const { return r + g + b; }
};

struct Picture {
  int width = 0, height = 0;
  std::vector<unsigned char> rgba;
  Rgb at(float x, float y) const {
    const int xi = static_cast<int>(x), yi = static_cast<int>(y);
    const unsigned char* p = &rgba[(static_cast<std::size_t>(yi) * width + xi) * 4];
    return {p[0], p[1], p[2]};
  }
  // The pixel nearest to violet in a small square around (x, y).
  Rgb mostViolet(float x, float y, int radius) const {
    Rgb best{0, 0, 0};
    int bestScore = -1000;
    for (int dy = -radius; dy <= radius; ++dy)
      for (int dx = -radius; dx <= radius; ++dx) {
        const Rgb c = at(x + dx, y + dy);
        const int score = c.b - c.g;
        if (score > bestScore) {
          bestScore = score;
          best = c;
        }
      }
    return best;
  }
};

using Scene = std::function<void(UiModel&, FakeHost&)>;

class PictureTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    width = GetParam();
    height = static_cast<int>(std::ceil(width * 89.6 / 135.0));
    const std::string failure = gl.open(width, height);
    ASSERT_EQ(failure, "") << "offscreen OpenGL";
    vg = nvgCreateGL2(NVG_ANTIALIAS | NVG_STENCIL_STROKES);
    ASSERT_NE(vg, nullptr);
  }
  void TearDown() override {
    if (vg) nvgDeleteGL2(vg);
  }

  Picture render(const std::string& name, const Scene& setup) {
    FakeHost host;
    host.now = 10.3;  // the learn target's blink is in its violet half
    UiModel ui(&host);
    setup(ui, host);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    nvgBeginFrame(vg, static_cast<float>(width), static_cast<float>(height), 1.0f);
    NvgCanvas canvas(vg);
    drawUi(ui, canvas, static_cast<float>(width), static_cast<float>(height), false);
    nvgEndFrame(vg);
    Picture p;
    p.width = width;
    p.height = height;
    p.rgba = gl.readRgba();
    const std::string path = std::string(CORVA_PICTURE_DIR) + "/ui-" + name + "-" + std::to_string(width) + ".png";
    EXPECT_TRUE(test::writePng(path, width, height, p.rgba.data())) << path;
    return p;
  }

  // A point of the face given in design units, in pixels.
  float fx(float x) const { return x * width / 864.0f; }

  int width = 0, height = 0;
  test::OffscreenGl gl;
  NVGcontext* vg = nullptr;
};

const Scene kDefault = [](UiModel&, FakeHost&) {};

const Scene kTriggerHeld = [](UiModel& ui, FakeHost&) {
  ui.face.setValue(kTrigger, 1);
  ui.face.setValue(kLedLevel, 0.8f);
  ui.effectsPanel.setValue(kEcho, 1);
};

const Scene kLearnTarget = [](UiModel& ui, FakeHost&) {
  ui.setLearnArmed(true);
  ui.learnTarget = kHold;
};

const Scene kNewsNotice = [](UiModel& ui, FakeHost&) {
  NewsView& v = ui.newsView;
  v.pageCount = 2;
  v.segmentCount = 2;
  std::snprintf(v.id, sizeof v.id, "%s", "update-0.6.0");
  std::snprintf(v.segments[0].text, sizeof v.segments[0].text, "%s", "Corva-1 0.6.0 is out \xE2\x80\x94 ");
  v.segments[1].isLink = 1;
  std::snprintf(v.segments[1].text, sizeof v.segments[1].text, "%s", "Download");
  std::snprintf(v.segments[1].url, sizeof v.segments[1].url, "%s", "https://example.com/dl");
  ui.effectsPanel.newsShown = true;
};

TEST_P(PictureTest, DefaultFaceAndPanel) {
  const Picture p = render("default", kDefault);
  // The photograph's slate panel away from any control (not the vector face's warm
  // grey), and the effects panel's background.
  const Rgb panel = p.at(fx(300), fx(300));
  EXPECT_GT(panel.b, panel.r + 8);
  EXPECT_GT(panel.sum(), 120);
  EXPECT_LT(panel.sum(), 300);
  const Rgb effects = p.at(fx(736 + 4), fx(300));
  EXPECT_NEAR(effects.r, 0x1C, 2);
  EXPECT_NEAR(effects.b, 0x1C, 2);
  // The photograph's unlit LED: dark amber glass.
  const Rgb led = p.at(fx(364.16f), fx(332.544f));
  EXPECT_LT(led.sum(), 260);
  EXPECT_GT(led.r, led.b + 15);
  // The knob images keep their control colours: the tone cap is green, the volume cap
  // blue, each on its centre.
  const Rgb tone = p.at(fx(143.872f), fx(160.96f));
  EXPECT_GT(tone.g, tone.r + 30);
  EXPECT_GT(tone.g, tone.b + 30);
  const Rgb volume = p.at(fx(141.44f), fx(433.088f));
  EXPECT_GT(volume.b, volume.r + 60);
}

TEST_P(PictureTest, TriggerHeldLedLitAndEchoOn) {
  const Picture unlit = render("default", kDefault);
  const Picture lit = render("trigger", kTriggerHeld);
  const Rgb on = lit.at(fx(364.16f), fx(332.544f));
  EXPECT_GT(on.sum(), unlit.at(fx(364.16f), fx(332.544f)).sum() + 200);
  EXPECT_NEAR(on.r, 255, 3);
  // The glow reaches beyond the bezel.
  EXPECT_GT(lit.at(fx(364.16f + 26), fx(332.544f)).sum(), unlit.at(fx(364.16f + 26), fx(332.544f)).sum());
  // The pressed trigger cap is darker than the released one.
  EXPECT_LT(lit.at(fx(459.008f), fx(425.6f)).r, unlit.at(fx(459.008f), fx(425.6f)).r);
  // The echo switch's thumb moved to the right and turned violet.
  const float panelX = 736.0f, switchY = 194.5664f;
  const Rgb thumb = lit.at(fx(panelX + 80), fx(switchY));
  EXPECT_GT(thumb.b, 200);
  EXPECT_GT(thumb.b, thumb.g + 100);
}

TEST_P(PictureTest, LearnModeRingsAndTarget) {
  const Picture p = render("learn", kLearnTarget);
  // A ring around the volume knob, over the knob's dark body.
  const Rgb ring = p.mostViolet(fx(141.44f + 38.4f), fx(433.088f), 2);
  EXPECT_GT(ring.b, 150);
  EXPECT_GT(ring.b, ring.g + 80);
  EXPECT_GT(ring.r, ring.g);
  // The target's thicker ring blinks violet at this time as well.
  const Rgb target = p.mostViolet(fx(590.464f + 38.4f), fx(428.288f), 2);
  EXPECT_GT(target.b, target.g + 80);
}

TEST_P(PictureTest, NewsNoticeWithALink) {
  const Picture p = render("news", kNewsNotice);
  // The strip covers the top 51.2 pixels of the face and the effects panel.
  const Rgb strip = p.at(width * 0.5f, 3);
  EXPECT_NEAR(strip.r, 28, 2);
  EXPECT_NEAR(strip.g, 28, 2);
  EXPECT_NEAR(strip.b, 28, 2);
  const Rgb below = p.at(width * 0.5f, 60);
  EXPECT_GT(below.sum(), 120) << "the face shows below the strip";
  // Text was drawn in the strip: some pixels on its centre line are light.
  int light = 0;
  for (int x = 10; x < width / 2; ++x) light += p.at(static_cast<float>(x), 25).sum() > 300;
  EXPECT_GT(light, 5);
}

INSTANTIATE_TEST_SUITE_P(Widths, PictureTest, ::testing::Values(648, 1296));

}  // namespace
}  // namespace corva
