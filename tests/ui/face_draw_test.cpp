#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "resources/face_images.h"
#include "tests/ui/fake_host.h"
#include "tests/ui/recording_canvas.h"
#include "ui/face_draw.h"

namespace corva {
namespace {

using test::CanvasCall;
using test::FakeHost;
using test::RecordingCanvas;

constexpr float kDefaultRect[4] = {0, 0, 552, 430.08f};

bool colourIs(const Color& c, int r, int g, int b) {
  return std::fabs(c.r * 255 - r) < 0.01f && std::fabs(c.g * 255 - g) < 0.01f && std::fabs(c.b * 255 - b) < 0.01f;
}

// The knob pointers of the vector knobs, in drawing order (tone, mode, speed, volume):
// each is a moveTo/lineTo pair stroked in (242, 242, 242). Returns their angles, degrees.
std::vector<float> pointerAngles(const RecordingCanvas& canvas) {
  std::vector<float> angles;
  const auto& calls = canvas.calls;
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].op != "stroke" || !colourIs(calls[i].stroke, 242, 242, 242)) continue;
    const CanvasCall* from = nullptr;
    const CanvasCall* to = nullptr;
    for (std::size_t j = i; j-- > 0 && !from;) {
      if (calls[j].op == "lineTo" && !to) to = &calls[j];
      if (calls[j].op == "moveTo") from = &calls[j];
    }
    angles.push_back(std::atan2(to->args[1] - from->args[1], to->args[0] - from->args[0]) / 0.017453292f);
  }
  return angles;
}

// Fill colours of circles of radius r, in order.
std::vector<Color> circleFills(const RecordingCanvas& canvas, float r) {
  std::vector<Color> out;
  bool pending = false;
  for (const auto& c : canvas.calls) {
    if (c.op == "circle") pending = std::fabs(c.args[2] - r) < 1e-4f;
    if (c.op == "fill" && pending) {
      out.push_back(c.fill);
      pending = false;
    }
  }
  return out;
}

class FaceDrawTest : public ::testing::Test {
 protected:
  // Most cases check the vector drawings: the canvas refuses every embedded image, as
  // one that cannot decode them would, and each element falls back on its own.
  FaceDrawTest() { canvas.failImages = true; }
  void draw(const float rect[4] = kDefaultRect) {
    canvas.clear();
    drawMainFace(face, canvas, rect);
    EXPECT_EQ(canvas.saveDepth, 0);
    EXPECT_FALSE(canvas.restoreUnderflow);
  }
  FakeHost host;
  FaceModel face{&host};
  RecordingCanvas canvas;
};

TEST_F(FaceDrawTest, WrapsInOneSaveRestoreUnlessDrawnAtTheOriginAtScaleOne) {
  const float identity[4] = {0, 0, 736, 573.44f};
  draw(identity);
  EXPECT_EQ(canvas.count("save"), canvas.count("restore"));
  EXPECT_EQ(canvas.count("translate"), 0);
  EXPECT_EQ(canvas.count("scale"), 0);
  EXPECT_EQ(canvas.maxSaveDepth, 0) << "vector knobs and switch need no saved state";

  const float offset[4] = {10, 20, 552, 430.08f};
  draw(offset);
  EXPECT_EQ(canvas.calls.front().op, "save");
  EXPECT_EQ(canvas.calls.back().op, "restore");
  EXPECT_EQ(canvas.count("save"), 1);
  ASSERT_EQ(canvas.count("scale"), 1);
  EXPECT_FLOAT_EQ(canvas.all("translate")[0].args[0], 10);
  EXPECT_FLOAT_EQ(canvas.all("scale")[0].args[0], 0.75f);
  EXPECT_FLOAT_EQ(face.originX, 10);
  EXPECT_FLOAT_EQ(face.originY, 20);
  EXPECT_FLOAT_EQ(face.pixelScale, 0.75f);
}

TEST_F(FaceDrawTest, KnobAnglesFollowRoundedSelectorPositionsAndVolume) {
  face.values[kTone] = 1.5f;  // halves away from zero: position 2
  face.values[kMode] = 7;     // beyond the end: position 3
  face.values[kSpeed] = 0;
  face.values[kVolume] = 0;
  draw();
  auto a = pointerAngles(canvas);
  ASSERT_EQ(a.size(), 4u);
  EXPECT_NEAR(a[0], -72.5f, 0.01f);
  EXPECT_NEAR(a[1], -46.1f, 0.01f);
  EXPECT_NEAR(a[2], -139.6f, 0.01f);
  EXPECT_NEAR(a[3], 135.0f, 0.01f);  // -225 degrees: lower left

  face.values[kVolume] = 1;
  draw();
  EXPECT_NEAR(pointerAngles(canvas)[3], 45.0f, 0.01f);
  face.values[kVolume] = 0.5f;
  draw();
  EXPECT_NEAR(pointerAngles(canvas)[3], -90.0f, 0.01f);  // straight up
  face.values[kVolume] = 3;
  draw();
  EXPECT_NEAR(pointerAngles(canvas)[3], 45.0f, 0.01f);
}

TEST_F(FaceDrawTest, VectorLedLensAndGlowFollowTheLevel) {
  face.values[kLedLevel] = 0;
  draw();
  auto lens = circleFills(canvas, 17.184f);
  ASSERT_EQ(lens.size(), 1u);
  EXPECT_TRUE(colourIs(lens[0], 90, 81, 47));
  EXPECT_EQ(canvas.count("fillRadialGradient"), 0);

  face.values[kLedLevel] = 0.0079f;  // brightness just under 0.02: still no glow
  draw();
  EXPECT_EQ(canvas.count("fillRadialGradient"), 0);

  face.values[kLedLevel] = 0.4f;  // brightness 1
  draw();
  lens = circleFills(canvas, 17.184f);
  EXPECT_TRUE(colourIs(lens[0], 255, 216, 74));
  ASSERT_EQ(canvas.count("fillRadialGradient"), 1);
  const auto glow = canvas.all("fillRadialGradient")[0].args;
  EXPECT_FLOAT_EQ(glow[3], 22.912f + 16.64f);  // outer radius
  EXPECT_FLOAT_EQ(glow[7], 0.3f);              // inner alpha

  face.values[kLedLevel] = NAN;
  draw();
  EXPECT_TRUE(colourIs(circleFills(canvas, 17.184f)[0], 90, 81, 47));
}

TEST_F(FaceDrawTest, ButtonsShowPressedAboveHalfAndSwitchLeverFlips) {
  face.values[kTrigger] = 1;
  face.values[kCorvaBtn] = 0.5f;  // not above 0.5: released
  draw();
  auto pressedCaps = circleFills(canvas, 17.664f);
  ASSERT_EQ(pressedCaps.size(), 1u);
  EXPECT_NEAR(pressedCaps[0].r, 216 / 255.0f * 0.82f, 1e-5f);  // trigger red, darkened
  EXPECT_EQ(circleFills(canvas, 19.2f).size(), 2u);

  // The vector lever points down when on: its tip lies below the switch centre.
  auto leverTipY = [&] {
    float tip = 0;
    for (const auto& c : canvas.calls)
      if (c.op == "lineTo" && std::fabs(c.args[0] - 590.464f) < 10) tip = c.args[1];
    return tip;  // the highlight line's end, drawn last
  };
  face.values[kHold] = 1;
  draw();
  EXPECT_GT(leverTipY(), 428.288f + 40);
  face.values[kHold] = 0;
  draw();
  EXPECT_LT(leverTipY(), 428.288f - 40);
}

TEST_F(FaceDrawTest, EmbeddedImagesAreCreatedOnceInSlotOrder) {
  canvas.failImages = false;
  draw();
  EXPECT_TRUE(face.imagesCreated);
  const auto created = canvas.all("createImageMem");
  ASSERT_EQ(created.size(), 9u);
  for (int slot = 0; slot < 9; ++slot) {
    EXPECT_EQ(created[slot].args[0], kFaceImageData[slot].size) << slot;
    EXPECT_EQ(created[slot].intArg, 0) << slot;
    EXPECT_EQ(face.images[slot], slot + 1);
  }
  // With every image: the photograph, the strip, four shadows and knobs, and the switch;
  // no vector screws, ticks, LED or buttons.
  EXPECT_EQ(canvas.count("fillImagePattern"), 11);
  EXPECT_EQ(circleFills(canvas, 20.48f).size(), 0u);
  EXPECT_EQ(circleFills(canvas, 19.2f).size(), 0u);
  draw();
  EXPECT_EQ(canvas.count("createImageMem"), 0) << "created once";
}

TEST_F(FaceDrawTest, ImagesThatFailToDecodeLeaveTheVectorFace) {
  draw();
  EXPECT_TRUE(face.imagesCreated);
  EXPECT_EQ(canvas.count("createImageMem"), 9);
  for (int slot = 0; slot < 9; ++slot) EXPECT_LE(face.images[slot], 0);
  draw();
  EXPECT_EQ(canvas.count("createImageMem"), 0) << "a failure is not retried";
  EXPECT_EQ(canvas.count("fillImagePattern"), 0);
  // The vector panel: its rounded rectangle in the panel colour and four screws.
  ASSERT_GE(canvas.count("roundedRect"), 1);
  EXPECT_EQ(circleFills(canvas, 20.48f).size(), 4u);
  // Selector ticks: four per selector, round-capped, width reset after each.
  int ticks = 0;
  for (const auto& c : canvas.all("stroke")) ticks += c.strokeWidth == 2.88f;
  EXPECT_EQ(ticks, 12);
}

TEST_F(FaceDrawTest, PhotographGatesPanelTicksButtonsLedAndSwitch) {
  // Everything but the photograph: knobs come from their images, the rest is vector.
  face.imagesCreated = true;
  for (int i = 1; i < 9; ++i) face.images[i] = 10 + i;
  draw();
  std::vector<int> used;
  for (const auto& c : canvas.all("fillImagePattern")) used.push_back(c.intArg);
  // Shadow then knob, for tone, mode, speed, volume; then the cover strip comes first.
  EXPECT_EQ(used, (std::vector<int>{18, 15, 11, 15, 12, 15, 13, 15, 14}));
  EXPECT_EQ(circleFills(canvas, 20.48f).size(), 4u) << "vector screws";
  EXPECT_EQ(circleFills(canvas, 17.184f).size(), 1u) << "vector LED";
  EXPECT_EQ(canvas.count("rotate"), 4);

  // With the photograph: no ticks, no vector panel; the switch image is mirrored off.
  face.images[0] = 10;
  face.values[kHold] = 0;
  face.values[kLedLevel] = 0.002f;  // brightness 0.005: the photograph's dark LED shows
  draw();
  EXPECT_EQ(canvas.all("fillImagePattern").front().intArg, 10);
  EXPECT_EQ(circleFills(canvas, 20.48f).size(), 0u);
  EXPECT_EQ(circleFills(canvas, 17.184f).size(), 0u);
  int glowImages = 0;
  for (const auto& c : canvas.all("fillImagePattern")) glowImages += c.intArg == 16;
  EXPECT_EQ(glowImages, 0);
  bool mirrored = false;
  for (const auto& c : canvas.all("scale")) mirrored |= c.args[1] == -1.0f;
  EXPECT_TRUE(mirrored);

  face.values[kHold] = 1;
  face.values[kLedLevel] = 0.5f;
  draw();
  mirrored = false;
  for (const auto& c : canvas.all("scale")) mirrored |= c.args[1] == -1.0f;
  EXPECT_FALSE(mirrored);
  int litImages = 0;
  for (const auto& c : canvas.all("fillImagePattern")) {
    if (c.intArg != 16) continue;
    ++litImages;
    EXPECT_FLOAT_EQ(c.args[5], 1.0f);  // the lit LED at full alpha
  }
  EXPECT_EQ(litImages, 1);
}

}  // namespace
}  // namespace corva
