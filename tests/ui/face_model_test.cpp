#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/ui/fake_host.h"
#include "ui/face_model.h"

namespace corva {
namespace {

using test::FakeHost;
using Log = std::vector<std::string>;

class FaceModelTest : public ::testing::Test {
 protected:
  FakeHost host;
  FaceModel face{&host};

  // Pixel position of a point given in face design units, at the face's placement.
  float px(float designX) const { return face.originX + face.pixelScale * designX; }
  float py(float designY) const { return face.originY + face.pixelScale * designY; }
  void place(float x, float y, float scale) {
    face.originX = x;
    face.originY = y;
    face.pixelScale = scale;
  }
  void pressAt(std::uint64_t id, int control) {
    float x = 0, y = 0;
    ASSERT_TRUE(faceControlCentre(control, x, y));
    ASSERT_TRUE(face.pressControl(id, px(x), py(y)));
  }
};

TEST_F(FaceModelTest, HitTestCountsRimsAndEdgesAtAnyPlacement) {
  for (float scale : {1.0f, 0.75f, 2.0f}) {
    place(13, 7, scale);
    // The tone selector's rim, radius 78, straight right of its centre.
    EXPECT_EQ(hitTestFace(face, px(143.872f + 78.0f), py(160.96f)), kTone) << scale;
    EXPECT_EQ(hitTestFace(face, px(143.872f + 78.5f), py(160.96f)), -1) << scale;
    // The hold rectangle's corner, 28 x 48 from its centre.
    EXPECT_EQ(hitTestFace(face, px(590.464f + 28.0f), py(428.288f - 48.0f)), kHold) << scale;
    EXPECT_EQ(hitTestFace(face, px(590.464f + 28.5f), py(428.288f)), -1) << scale;
    EXPECT_EQ(hitTestFace(face, px(272.0f), py(431.68f - 41.5f)), kCorvaBtn) << scale;
    EXPECT_EQ(hitTestFace(face, px(272.0f), py(431.68f - 41.7f)), -1) << scale;
    EXPECT_EQ(hitTestFace(face, px(5), py(5)), -1) << scale;
  }
  float x = -1, y = -1;
  EXPECT_FALSE(faceControlCentre(8, x, y));
  EXPECT_FALSE(faceControlCentre(-1, x, y));
  EXPECT_EQ(x, -1);
  EXPECT_TRUE(faceControlCentre(kHold, x, y));
  EXPECT_FLOAT_EQ(x, 590.464f);
  EXPECT_FLOAT_EQ(y, 428.288f);
}

TEST_F(FaceModelTest, SelectorStepsCountFromThePressAtAnyScale) {
  for (float scale : {1.0f, 0.75f, 2.0f}) {
    place(0, 0, scale);
    face.values[kMode] = 1;
    host.clear();
    const float x = px(367.744f), y0 = py(159.04f);
    ASSERT_TRUE(face.pressControl(1, x, y0));
    EXPECT_EQ(host.log, (Log{"switch"})) << "the press itself changes nothing";
    host.clear();

    EXPECT_TRUE(face.dragControl(1, x, y0 - 14.9f * scale));
    EXPECT_TRUE(host.log.empty()) << scale;
    EXPECT_TRUE(face.dragControl(1, x, y0 - 15.0f * scale));  // a half step rounds up
    EXPECT_EQ(host.log, (Log{"set 1 2", "edited 0", "redraw"})) << scale;
    EXPECT_TRUE(face.dragControl(1, x, y0 - 45.0f * scale));
    EXPECT_EQ(face.values[kMode], 3.0f);
    EXPECT_TRUE(face.dragControl(1, x, y0 - 200.0f * scale));  // clamped at the last position
    EXPECT_EQ(face.values[kMode], 3.0f);
    EXPECT_TRUE(face.dragControl(1, x, y0 + 1.0f));  // back over the press point
    EXPECT_EQ(face.values[kMode], 1.0f);
    EXPECT_TRUE(face.dragControl(1, x, y0 + 15.0f * scale));  // a half step down
    EXPECT_EQ(face.values[kMode], 0.0f);
    face.releaseControl(1);

    // From position 0 a drag down goes nowhere and sends nothing.
    ASSERT_TRUE(face.pressControl(2, x, y0));
    host.clear();
    EXPECT_TRUE(face.dragControl(2, x, y0 + 15.0f * scale));
    EXPECT_TRUE(host.log.empty());
    face.releaseControl(2);
    EXPECT_TRUE(host.log.empty()) << "releasing a selector changes nothing";
  }
}

TEST_F(FaceModelTest, KnobDragCoversTheRangeIn200DesignUnits) {
  for (float scale : {1.0f, 2.0f, 0.75f}) {
    place(100, 50, scale);
    face.values[kVolume] = 0;
    const float x = px(141.44f), y0 = py(433.088f);
    ASSERT_TRUE(face.pressControl(7, x, y0));
    host.clear();
    EXPECT_TRUE(face.dragControl(7, x, y0 - 100.0f * scale));
    EXPECT_FLOAT_EQ(face.values[kVolume], 0.5f);
    EXPECT_TRUE(face.dragControl(7, x, y0 - 200.0f * scale));
    EXPECT_EQ(face.values[kVolume], 1.0f) << scale;
    EXPECT_TRUE(face.dragControl(7, x, y0 - 900.0f * scale));  // past the end: nothing new to send
    EXPECT_EQ(host.log, (Log{"set 3 0.5", "redraw", "set 3 1", "redraw"}));
    face.releaseControl(7);
  }
  // A drag of a pointer that holds nothing, or with no usable scale, does nothing.
  EXPECT_FALSE(face.dragControl(99, 0, 0));
  pressAt(1, kVolume);
  face.pixelScale = 0;
  host.clear();
  EXPECT_FALSE(face.dragControl(1, 0, 0));
  face.pixelScale = 1;
  EXPECT_FALSE(face.dragControl(1, 0, NAN));
  EXPECT_TRUE(host.log.empty());
}

TEST_F(FaceModelTest, MomentaryButtonsHoldUntilTheirLastPointerLetsGo) {
  pressAt(1, kTrigger);
  EXPECT_EQ(host.log, (Log{"switch", "set 6 1", "edited 1", "redraw"}));
  pressAt(2, kTrigger);
  EXPECT_FALSE(face.dragControl(2, 0, 0)) << "a drag does nothing to a button";
  host.clear();
  face.releaseControl(1);
  EXPECT_TRUE(host.log.empty());
  EXPECT_EQ(face.values[kTrigger], 1.0f);
  face.releaseControl(2);
  EXPECT_EQ(host.log, (Log{"set 6 0", "redraw"}));
  host.clear();
  face.releaseControl(2);  // already released
  EXPECT_TRUE(host.log.empty());
}

TEST_F(FaceModelTest, HoldFlipsOncePerPressNotPerPointer) {
  pressAt(1, kHold);
  EXPECT_EQ(host.log, (Log{"switch", "set 7 1", "edited 1", "redraw"}));
  host.clear();
  pressAt(2, kHold);
  EXPECT_EQ(host.log, (Log{"switch"}));
  face.releaseControl(1);
  face.releaseControl(2);
  EXPECT_EQ(face.values[kHold], 1.0f) << "releasing the switch changes nothing";
  pressAt(3, kHold);
  EXPECT_EQ(face.values[kHold], 0.0f);
}

TEST_F(FaceModelTest, FivePointersAtOnceAndTheSixthIsRefused) {
  pressAt(1, kTrigger);
  pressAt(2, kCorvaBtn);
  pressAt(3, kToneBtn);
  pressAt(4, kVolume);
  pressAt(5, kTone);
  host.clear();
  EXPECT_FALSE(face.pressControl(6, 590.464f, 428.288f));
  EXPECT_TRUE(host.log.empty());
  EXPECT_EQ(face.values[kHold], 0.0f);
  // Releasing one frees a slot for the next pointer.
  face.releaseControl(3);
  EXPECT_TRUE(face.pressControl(6, 590.464f, 428.288f));
}

TEST_F(FaceModelTest, WheelCarriesSelectorFractionsAndMovesTheKnob) {
  const float toneX = 143.872f, toneY = 160.96f;
  face.values[kTone] = 0;
  EXPECT_FALSE(face.nudgeControl(toneX, toneY, 0.5f, false));
  EXPECT_TRUE(face.nudgeControl(toneX, toneY, 0.5f, false));
  EXPECT_EQ(face.values[kTone], 1.0f);
  EXPECT_EQ(host.log, (Log{"set 0 1", "edited 0", "redraw"}));

  // At the end the turn changes nothing and the carried fraction is dropped.
  face.values[kTone] = 3;
  host.clear();
  EXPECT_FALSE(face.nudgeControl(toneX, toneY, 2.5f, false));
  EXPECT_FLOAT_EQ(face.wheelAccumulator, 0.0f);
  EXPECT_TRUE(host.log.empty());
  EXPECT_TRUE(face.nudgeControl(toneX, toneY, -1.0f, false));
  EXPECT_EQ(face.values[kTone], 2.0f);

  // Another selector drops the first one's fraction.
  EXPECT_FALSE(face.nudgeControl(toneX, toneY, 0.5f, false));
  EXPECT_FALSE(face.nudgeControl(367.744f, 159.04f, 0.5f, false));
  EXPECT_FALSE(face.nudgeControl(toneX, toneY, 0.5f, false));
  EXPECT_EQ(face.values[kTone], 2.0f);

  // The volume knob: a notch is 0.02 of the range, 0.002 when fine.
  face.values[kVolume] = 0.5f;
  EXPECT_TRUE(face.nudgeControl(141.44f, 433.088f, 1.0f, false));
  EXPECT_FLOAT_EQ(face.values[kVolume], 0.52f);
  EXPECT_TRUE(face.nudgeControl(141.44f, 433.088f, -1.0f, true));
  EXPECT_FLOAT_EQ(face.values[kVolume], 0.518f);
  face.values[kVolume] = 1.0f;
  host.clear();
  EXPECT_FALSE(face.nudgeControl(141.44f, 433.088f, 1.0f, false));
  EXPECT_FALSE(face.nudgeControl(141.44f, 433.088f, NAN, false));
  // Buttons, the switch and empty space ignore the wheel.
  EXPECT_FALSE(face.nudgeControl(459.008f, 425.6f, 1.0f, false));
  EXPECT_FALSE(face.nudgeControl(590.464f, 428.288f, 1.0f, false));
  EXPECT_FALSE(face.nudgeControl(5, 5, 1.0f, false));
  EXPECT_TRUE(host.log.empty());
}

TEST_F(FaceModelTest, WheelLeavesAControlUnderAGestureAlone) {
  pressAt(1, kSpeed);
  host.clear();
  EXPECT_FALSE(face.nudgeControl(589.888f, 157.44f, 3.0f, false));
  EXPECT_TRUE(host.log.empty());
  face.releaseControl(1);
  EXPECT_TRUE(face.nudgeControl(589.888f, 157.44f, 1.0f, false));
}

TEST_F(FaceModelTest, ValuesOutsideTheTableAreIgnored) {
  EXPECT_EQ(face.value(15), 0.0f);
  EXPECT_EQ(face.value(-1), 0.0f);
  face.setValue(15, 5);
  face.setValue(-1, 5);
  face.setValue(kTime, 500);
  EXPECT_EQ(face.value(kTime), 500.0f);
  EXPECT_EQ(face.value(kVcc), 12.2f);  // defaults from the parameter table
  EXPECT_EQ(face.value(kOversample), 2.0f);
}

}  // namespace
}  // namespace corva
