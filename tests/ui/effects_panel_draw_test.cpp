#include <gtest/gtest.h>

#include <cmath>

#include "tests/ui/fake_host.h"
#include "tests/ui/recording_canvas.h"
#include "ui/effects_panel_draw.h"

namespace corva {
namespace {

using test::CanvasCall;

bool sameColour(const Color& c, std::uint32_t rgb, float alpha = 1) {
  return c.r == float((rgb >> 16) & 255) / 255 && c.g == float((rgb >> 8) & 255) / 255 &&
         c.b == float(rgb & 255) / 255 && c.a == alpha;
}

struct PanelDraw : ::testing::Test {
  test::FakeHost host;
  EffectsPanelModel panel{&host};
  test::RecordingCanvas canvas;
  void draw(float x = 0, float y = 0, float w = 128) {
    canvas.clear();
    const float rect[4] = {x, y, w, 573.44f * w / 128};
    drawEffectsPanel(panel, canvas, rect);
  }
  int strokesIn(std::uint32_t rgb) const {
    int n = 0;
    for (const CanvasCall& c : canvas.all("stroke")) n += sameColour(c.stroke, rgb);
    return n;
  }
  // Whether the beat light (the small circle right of the time caption) is lit.
  bool beatLit() const {
    for (const CanvasCall& c : canvas.calls)
      if (c.op == "fill" && sameColour(c.fill, 0xE8322A)) return true;
    return false;
  }
};

TEST_F(PanelDraw, RecordsPlacementAndTransformsOnlyWhenNeeded) {
  draw(552, 0, 96);
  EXPECT_FLOAT_EQ(panel.pixelScale, 0.75f);
  EXPECT_EQ(panel.originX, 552);
  ASSERT_EQ(canvas.calls[0].op, "save");
  EXPECT_EQ(canvas.calls[1].args, (std::vector<float>{552, 0}));
  EXPECT_EQ(canvas.calls[2].args, (std::vector<float>{0.75f, 0.75f}));
  EXPECT_EQ(canvas.calls.back().op, "restore");
  EXPECT_EQ(canvas.count("createFontMem"), 1);
  EXPECT_EQ(canvas.all("createFontMem")[0].text, "CorvaPanel");
  draw();
  EXPECT_EQ(canvas.count("save"), 0);
  EXPECT_EQ(canvas.count("restore"), 0);
  EXPECT_EQ(canvas.count("createFontMem"), 0);  // created once per window
}

TEST_F(PanelDraw, ValuesCaptionsAndUnits) {
  panel.values[0] = 0.125f;
  panel.values[3] = 299.5f;
  panel.tapHover = true;
  draw();
  EXPECT_EQ(canvas.texts(),
            (std::vector<std::string>{"13", "REVERB", "%", "ECHO", "OFF", "35", "FEEDBACK", "%", "300", "Tap!", "ms"}));
  const CanvasCall* reading = canvas.findText("35");
  EXPECT_EQ(reading->align, 18);
  EXPECT_FLOAT_EQ(reading->fontSize, 15.36f);
  EXPECT_FLOAT_EQ(reading->args[1], 337.9264f);
  EXPECT_TRUE(sameColour(canvas.findText("%")->fill, 0x6E6862));
}

TEST_F(PanelDraw, KnobValueArcOnlyAboveThreshold) {
  panel.values[0] = 0.0005f;
  panel.values[2] = 0.0f;
  panel.values[3] = 40.0f;
  draw();
  EXPECT_EQ(strokesIn(0x9D5CFF), 0);
  EXPECT_EQ(strokesIn(0x3A3A3A), 3);
  EXPECT_EQ(strokesIn(0xA8A099), 3);  // pointers
  panel.values[0] = 1.0f;
  draw();
  ASSERT_EQ(strokesIn(0x9D5CFF), 1);
  // The full arc ends lower right, at 405 degrees.
  const auto ends = canvas.all("lineTo");
  bool reachesEnd = false;
  for (const CanvasCall& c : ends)
    reachesEnd |= std::abs(c.args[0] - (64 + 31.501797f * std::cos(405 * 0.017453292f))) < 1e-3f &&
                  std::abs(c.args[1] - (51.2064f + 31.501797f * std::sin(405 * 0.017453292f))) < 1e-3f;
  EXPECT_TRUE(reachesEnd);
}

TEST_F(PanelDraw, SwitchColoursFollowItsPosition) {
  panel.values[1] = 1.0f;
  draw();
  EXPECT_EQ(strokesIn(0x9D5CFF), 1 + 2);  // outline, feedback and time arcs
  EXPECT_TRUE(sameColour(canvas.findText("ON")->fill, 0x9D5CFF));
  bool thumbOn = false;
  for (const CanvasCall& c : canvas.all("circle")) thumbOn |= c.args[0] == 47.999996f + 32 && c.args[2] == 8.32f;
  EXPECT_TRUE(thumbOn);
}

TEST_F(PanelDraw, BeatLightFlashesAtStartOfEachPeriod) {
  panel.values[1] = 1.0f;
  panel.values[3] = 100.0f;
  for (double t : {0.0, 0.04, 0.1049}) {
    host.now = t;
    draw();
    EXPECT_TRUE(beatLit()) << t;
  }
  host.now = 0.051;
  draw();
  EXPECT_FALSE(beatLit());
  panel.values[3] = 500.0f;  // phase 0.051 of 0.1 becomes the same fraction of 0.5
  draw();
  EXPECT_NEAR(panel.beatOrigin, 0.051 - 0.51 * 0.5, 1e-9);
  host.now = 0.051 + 0.245 + 0.079;
  draw();
  EXPECT_TRUE(beatLit());  // flashes for 80 ms at the longer period
  host.now += 0.002;
  draw();
  EXPECT_FALSE(beatLit());
  panel.values[1] = 0.0f;
  host.now = 0.296;
  draw();
  EXPECT_FALSE(beatLit());
}

TEST_F(PanelDraw, LearnButtonsAndMissingFont) {
  draw();
  EXPECT_EQ(canvas.findText("MIDI"), nullptr);
  panel.learnAvailable = true;
  draw();
  EXPECT_FLOAT_EQ(canvas.findText("MIDI")->args[1], 564.2774f);
  EXPECT_TRUE(sameColour(canvas.findText("MIDI")->fill, 0x6E6862));
  panel.learnArmed = true;
  panel.newsShown = true;
  draw();
  const CanvasCall* midi = canvas.findText("MIDI");
  EXPECT_EQ(midi->args, (std::vector<float>{38.4f, 566.1046f}));
  EXPECT_TRUE(sameColour(midi->fill, 0x9D5CFF));
  EXPECT_EQ(canvas.findText("RESET")->args[0], 92.16f);
  EXPECT_FLOAT_EQ(canvas.findText("REVERB")->args[1], 98.752f + 17.728f + 33.2608f);

  EffectsPanelModel fresh{&host};
  canvas.failFonts = true;
  canvas.clear();
  const float rect[4] = {0, 0, 128, 573.44f};
  drawEffectsPanel(fresh, canvas, rect);
  EXPECT_EQ(canvas.count("text"), 0);
  EXPECT_EQ(canvas.count("stroke"), 9);
}

}  // namespace
}  // namespace corva
