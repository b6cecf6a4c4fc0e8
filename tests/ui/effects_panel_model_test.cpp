#include <gtest/gtest.h>

#include <cmath>

#include "model/param_table.h"
#include "tests/ui/fake_host.h"
#include "ui/effects_panel_model.h"
#include "ui/lerp_colour.h"

namespace corva {
namespace {

using test::FakeHost;

constexpr float kReverbY = 51.2064f, kEchoY = 194.5664f, kFeedbackY = 337.9264f;

struct PanelTest : ::testing::Test {
  FakeHost host;
  EffectsPanelModel panel{&host};
  void place(float x, float y, float scale) {
    panel.originX = x;
    panel.originY = y;
    panel.pixelScale = scale;
  }
  // Pixel position of a point given in panel units.
  float px(float u) const { return panel.originX + u * panel.pixelScale; }
  float py(float u) const { return panel.originY + u * panel.pixelScale; }
};

TEST_F(PanelTest, HitTestFollowsScaleAndLayout) {
  place(552, 0, 0.75f);
  EXPECT_EQ(panel.hitTest(px(64), py(kReverbY)), kReverb);
  EXPECT_EQ(panel.hitTest(px(64 + 44.8f), py(kReverbY)), kReverb);  // the rim counts
  EXPECT_EQ(panel.hitTest(px(64 + 46), py(kReverbY)), -1);
  EXPECT_EQ(panel.hitTest(px(64 + 28), py(kEchoY + 12)), kEcho);
  EXPECT_EQ(panel.hitTest(px(64 + 30), py(kEchoY)), -1);
  EXPECT_EQ(panel.hitTest(px(64), py(kFeedbackY)), kFeedback);
  panel.newsShown = true;  // the compact layout moves the controls down
  EXPECT_EQ(panel.hitTest(px(64), py(51.2f)), -1);
  EXPECT_EQ(panel.hitTest(px(64), py(98.752f)), kReverb);
  float x = 0, y = 0;
  EXPECT_TRUE(effectsKnobCentre(kTime, x, y, true, true));
  EXPECT_FLOAT_EQ(y, 490.432f);
  EXPECT_FALSE(effectsKnobCentre(kVcc, x, y, false, false));
}

TEST_F(PanelTest, DragMovesByDesignUnitsAtAnyScale) {
  for (float scale : {1.0f, 0.75f, 2.0f}) {
    host.params.clear();
    place(10, 20, scale);
    panel.values[2] = 0.35f;
    ASSERT_TRUE(panel.pressControl(1, px(64), py(kFeedbackY)));
    EXPECT_TRUE(host.params.empty());  // a press alone sends nothing
    EXPECT_TRUE(panel.dragControl(1, 0, py(kFeedbackY - 100)));
    EXPECT_NEAR(panel.value(kFeedback), 0.85f, 1e-5f);
    EXPECT_TRUE(panel.dragControl(1, 0, py(kFeedbackY - 400)));
    EXPECT_TRUE(panel.dragControl(1, 0, py(kFeedbackY - 500)));  // past the end: nothing new to send
    ASSERT_EQ(host.params.size(), 2u);
    EXPECT_EQ(host.log.back(), "redraw");
    EXPECT_EQ(host.log.end()[-2], "set 12 1");
    panel.releaseControl(1);
  }
}

TEST_F(PanelTest, TimeKnobDragsOnLogarithmicScale) {
  panel.values[3] = 40;
  ASSERT_TRUE(panel.pressControl(1, 64, 481.2864f));
  panel.dragControl(1, 0, 481.2864f - 100);
  EXPECT_NEAR(panel.value(kTime), 40 * std::sqrt(20.0f), 1e-3f);
}

TEST_F(PanelTest, DragIgnoredWithoutPositiveScale) {
  ASSERT_TRUE(panel.pressControl(1, 64, kReverbY));
  for (float scale : {0.0f, -1.0f}) {
    panel.pixelScale = scale;
    EXPECT_FALSE(panel.dragControl(1, 0, 0));
  }
  EXPECT_TRUE(host.params.empty());
  EXPECT_EQ(panel.value(kReverb), 0.0f);
}

TEST_F(PanelTest, WheelStepsAndStopsAtEnds) {
  EXPECT_TRUE(panel.nudgeControl(64, kReverbY, 1, false));
  EXPECT_FLOAT_EQ(panel.value(kReverb), 0.02f);
  EXPECT_TRUE(panel.nudgeControl(64, kReverbY, 1, true));
  EXPECT_FLOAT_EQ(panel.value(kReverb), 0.022f);
  panel.setValue(kReverb, 1.0f);
  EXPECT_FALSE(panel.nudgeControl(64, kReverbY, 1, false));
  EXPECT_FALSE(panel.nudgeControl(64, kEchoY, 1, false));  // the switch ignores the wheel
  ASSERT_TRUE(panel.pressControl(3, 64, kFeedbackY));
  EXPECT_FALSE(panel.nudgeControl(64, kFeedbackY, 1, false));  // a held knob too
  EXPECT_EQ(host.params.size(), 2u);
}

TEST_F(PanelTest, SwitchTogglesOncePerPressAndGlides) {
  host.now = 5.0;
  ASSERT_TRUE(panel.pressControl(1, 64, kEchoY));
  EXPECT_EQ(host.log, (std::vector<std::string>{"switch", "set 11 1", "edited 1", "redraw"}));
  EXPECT_TRUE(panel.isEchoOn());
  EXPECT_TRUE(panel.pressControl(2, 64, kEchoY));  // a second pointer does not flip it
  EXPECT_EQ(host.params.size(), 1u);
  EXPECT_EQ(host.log.back(), "switch");
  EXPECT_FALSE(panel.dragControl(1, 0, 0));
  host.now = 5.06;
  EXPECT_TRUE(panel.isPressAnimating());
  EXPECT_NEAR(panel.togglePosition(1, 5.06), 0.5f, 1e-5f);
  panel.releaseControl(1);
  panel.releaseControl(2);
  ASSERT_TRUE(panel.pressControl(1, 64, kEchoY));  // turns back from half way
  EXPECT_FALSE(panel.isEchoOn());
  EXPECT_NEAR(panel.togglePosition(1, 5.06), 0.5f, 1e-5f);
  EXPECT_NEAR(panel.togglePosition(1, 5.12), 0.25f, 1e-5f);
  EXPECT_EQ(panel.togglePosition(1, 9.0), 0.0f);
  host.now = 9.0;
  EXPECT_FALSE(panel.isPressAnimating());
}

TEST_F(PanelTest, FivePointersAtOnceAndTheSixthRefused) {
  for (std::uint64_t id = 1; id <= 5; ++id) EXPECT_TRUE(panel.pressControl(id, 64, kReverbY));
  EXPECT_FALSE(panel.pressControl(6, 64, kFeedbackY));
  panel.releaseControl(3);
  EXPECT_EQ(panel.pointers[2].param, -1);
  EXPECT_TRUE(panel.pressControl(6, 64, kFeedbackY));
  EXPECT_EQ(panel.pointers[2].param, kFeedback);
  EXPECT_FALSE(panel.dragControl(42, 0, 0));  // a pointer that holds nothing
}

TEST_F(PanelTest, ButtonStripOffersMidiAndReset) {
  const float strip = 564.0f;
  EXPECT_EQ(panel.hitTestButtons(20, strip), 0);  // learn not available
  panel.learnAvailable = true;
  EXPECT_EQ(panel.hitTestButtons(20, strip), 1);
  EXPECT_EQ(panel.hitTestButtons(120, strip), 1);
  EXPECT_EQ(panel.hitTestButtons(20, 555.0f), 0);
  panel.learnArmed = true;
  EXPECT_EQ(panel.hitTestButtons(20, 573.44f), 1);
  EXPECT_EQ(panel.hitTestButtons(64, strip), 2);
  EXPECT_EQ(panel.hitTestButtons(129, strip), 0);
  panel.newsShown = true;  // the strip shrinks in the compact layout
  EXPECT_EQ(panel.hitTestButtons(64, 557.0f), 0);
  EXPECT_EQ(panel.hitTestButtons(64, 559.0f), 2);
}

TEST(LerpColour, BlendsRoundsAndClampsEachChannel) {
  EXPECT_EQ(lerpColour(0x000000, 0xFFFFFF, 0.5f), 0x808080u);
  EXPECT_EQ(lerpColour(0x6E6862, 0x9D5CFF, 0.0f), 0x6E6862u);
  EXPECT_EQ(lerpColour(0x6E6862, 0x9D5CFF, 1.0f), 0x9D5CFFu);
  EXPECT_EQ(lerpColour(0xFF000000u | 0x102030, 0x102030, 0.3f), 0x102030u);
  EXPECT_EQ(lerpColour(0x000000, 0x80FF00, 3.0f), 0xFFFF00u);
  EXPECT_EQ(lerpColour(0x808080, 0x000000, 3.0f), 0x000000u);
}

}  // namespace
}  // namespace corva
