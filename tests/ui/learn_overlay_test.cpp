#include <gtest/gtest.h>

#include "model/midi_map.h"
#include "tests/ui/recording_canvas.h"
#include "ui/learn_overlay.h"

namespace corva {
namespace {

using test::CanvasCall;

const float kFace[4] = {0, 0, 552, 430.08f};
const float kPanel[4] = {552, 0, 96, 430.08f};
constexpr int kHoldSlot = 1;

bool sameColour(const Color& c, int r, int g, int b) {
  return c.r == float(r) / 255 && c.g == float(g) / 255 && c.b == float(b) / 255 && c.a == 1;
}

struct LearnOverlay : ::testing::Test {
  test::RecordingCanvas canvas;
  FontState font;
  MidiMap map;
  void SetUp() override { resetMidiMap(map); }
  void draw(bool armed, int target, double t, const float* face = kFace, bool news = false) {
    canvas.clear();
    drawLearnOverlay(font, canvas, face, kPanel, news, news, armed, target, map, t);
  }
  // The stroke that finishes ring i, in target order.
  CanvasCall ring(int i) const { return canvas.all("stroke").at(i); }
};

TEST_F(LearnOverlay, RingsAndLabelsOfEveryTarget) {
  draw(false, kHold, 10.1);
  EXPECT_TRUE(canvas.calls.empty());
  EXPECT_FALSE(font.created);
  MidiMapping note{MidiSourceType::kNote, 36, 9};
  assignMidiMapping(map, kCorvaBtn, note);
  draw(true, -1, 10.1);
  EXPECT_EQ(canvas.all("createFontMem").at(0).text, "CorvaLearn");
  ASSERT_EQ(canvas.count("stroke"), 12);
  for (int i = 0; i < 12; ++i) {
    EXPECT_FLOAT_EQ(ring(i).strokeWidth, 1.5f * 0.75f);
    EXPECT_TRUE(sameColour(ring(i).stroke, 157, 92, 255));
  }
  const auto labels = canvas.texts();
  ASSERT_EQ(labels.size(), 12u);
  EXPECT_EQ(labels[0], "-");  // trigger
  EXPECT_EQ(labels[kHoldSlot], "CC64");
  EXPECT_EQ(labels[2], "N36:10");
  const CanvasCall* label = canvas.findText("CC64");
  EXPECT_TRUE(sameColour(label->fill, 168, 160, 153));
  EXPECT_EQ(label->align, 18);
  // Hold sits at (590.464, 428.288) on the face; its label hangs under the ring.
  const float x = 590.464f * 0.75f, y = 428.288f * 0.75f, size = 10.88f * 0.75f;
  EXPECT_FLOAT_EQ(label->args[0], x);
  EXPECT_FLOAT_EQ(label->args[1], y + 38.4f * 0.75f + size);
  EXPECT_FLOAT_EQ(canvas.all("roundedRect").at(kHoldSlot).args[2], 0.6f * size * 4 + size);
  // The last ring is the echo switch in the effects panel.
  const CanvasCall echo = canvas.all("circle").back();
  EXPECT_FLOAT_EQ(echo.args[0], 552 + 64 * 0.75f);
  EXPECT_FLOAT_EQ(echo.args[1], 194.5664f * 0.75f);
}

TEST_F(LearnOverlay, TargetRingBlinksAndLabelStaysBright) {
  draw(true, kHold, 10.1);
  EXPECT_FLOAT_EQ(ring(kHoldSlot).strokeWidth, 2.5f * 0.75f);
  EXPECT_TRUE(sameColour(ring(kHoldSlot).stroke, 201, 189, 176));
  EXPECT_TRUE(sameColour(canvas.findText("CC64")->fill, 201, 189, 176));
  draw(true, kHold, 10.3);
  EXPECT_TRUE(sameColour(ring(kHoldSlot).stroke, 157, 92, 255));
  EXPECT_TRUE(sameColour(canvas.findText("CC64")->fill, 201, 189, 176));
  EXPECT_TRUE(sameColour(ring(0).stroke, 157, 92, 255));
}

TEST_F(LearnOverlay, ScalesWithTheFaceAndFollowsCompactPanel) {
  const float wide[4] = {0, 0, 1472, 1146.88f};
  draw(true, -1, 0, wide, true);
  EXPECT_FLOAT_EQ(canvas.all("circle").at(0).args[2], 76.8f);
  EXPECT_FLOAT_EQ(canvas.all("fontSize").at(0).args[0], 21.76f);
  EXPECT_FLOAT_EQ(canvas.all("circle").at(8).args[1], 98.752f * 0.75f);  // reverb

  LearnOverlay::font = FontState{};
  canvas.failFonts = true;  // without a font only the rings remain
  draw(true, -1, 0);
  EXPECT_EQ(canvas.count("stroke"), 12);
  EXPECT_EQ(canvas.count("text"), 0);
  EXPECT_EQ(canvas.count("roundedRect"), 0);
}

}  // namespace
}  // namespace corva
