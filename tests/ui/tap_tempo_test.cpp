#include <gtest/gtest.h>

#include "model/param_table.h"
#include "tests/ui/fake_host.h"
#include "ui/effects_panel_model.h"

namespace corva {
namespace {

constexpr float kTimeY = 481.2864f;

struct TapTempo : ::testing::Test {
  test::FakeHost host;
  EffectsPanelModel panel{&host};
  // A press on the time knob at `time`, moved `travel` pixels before its release.
  void tap(double time, float travel = 0) {
    host.now = time;
    ASSERT_TRUE(panel.pressControl(7, 64 * panel.pixelScale, kTimeY * panel.pixelScale));
    if (travel != 0) panel.dragControl(7, 0, kTimeY * panel.pixelScale - travel);
    host.params.clear();
    panel.releaseControl(7);
  }
  float sent() const { return host.params.empty() ? -1.0f : host.params.back().value; }
};

TEST_F(TapTempo, MeanIntervalOfTheSeriesWithinWindow) {
  tap(0.0);
  EXPECT_EQ(sent(), -1.0f);
  tap(0.5);
  EXPECT_FLOAT_EQ(sent(), 500);
  EXPECT_EQ(host.params.back().index, kTime);
  tap(1.0);
  EXPECT_FLOAT_EQ(sent(), 500);
  tap(2.0);  // drops 0.0, keeps 0.5 (exactly 1.5 s before)
  EXPECT_FLOAT_EQ(sent(), 750);
  EXPECT_EQ(panel.beatOrigin, 2.0);
  EXPECT_EQ(panel.tapCount, 3);
}

TEST_F(TapTempo, IntervalClampedAndPauseStartsNewSeries) {
  tap(10.0);
  tap(10.03);
  EXPECT_FLOAT_EQ(sent(), 40);
  tap(20.0);
  EXPECT_EQ(sent(), -1.0f);
  EXPECT_EQ(panel.tapCount, 1);
}

TEST_F(TapTempo, RingWrapsPastEightTaps) {
  for (int i = 0; i < 20; ++i) tap(100.0 + 0.1 * i);
  EXPECT_FLOAT_EQ(sent(), 100);
  EXPECT_EQ(panel.tapCount, 8);
  tap(101.9 + 0.3);  // a slower tap after the ring filled
  EXPECT_NEAR(sent(), (0.6 + 0.3) * 1000 / 7, 1e-3);
}

TEST_F(TapTempo, RealDragClearsSeriesThresholdFollowsScale) {
  tap(0.0);
  tap(0.5, 12);  // 12 px at scale 1 is a drag
  EXPECT_EQ(panel.tapCount, 0);
  panel.pixelScale = 2;
  tap(1.0);
  tap(1.4, 19);  // below 19.2 px at scale 2: still a tap
  EXPECT_FLOAT_EQ(sent(), 400);
  tap(1.8, 19.2f);
  EXPECT_EQ(panel.tapCount, 0);
}

}  // namespace
}  // namespace corva
