#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/ui/fake_host.h"
#include "tests/ui/recording_canvas.h"
#include "ui/draw_root.h"

namespace corva {
namespace {

using test::FakeHost;
using test::RecordingCanvas;
using Log = std::vector<std::string>;

// The interface drawn 648 pixels wide, as the editor opens by default: face and panel
// at scale 0.75, the panel from x = 552.
class UiModelTest : public ::testing::Test {
 protected:
  void SetUp() override { draw(); }
  void draw() {
    canvas.clear();
    drawUi(ui, canvas, 648, 431, false);
  }
  // Face design units to editor pixels.
  static float f(float design) { return design * 0.75f; }
  // Panel design units to editor pixels.
  static float panelX(float design) { return 552 + design * 0.75f; }

  void showNotice() {
    NewsView& v = ui.newsView;
    v.pageCount = 1;
    v.segmentCount = 2;
    std::snprintf(v.id, sizeof v.id, "%s", "n1");
    std::snprintf(v.segments[0].text, sizeof v.segments[0].text, "%s", "Read ");
    v.segments[1].isLink = 1;
    std::snprintf(v.segments[1].text, sizeof v.segments[1].text, "%s", "this");
    std::snprintf(v.segments[1].url, sizeof v.segments[1].url, "%s", "https://example.com/a");
    ui.effectsPanel.newsShown = true;
    draw();
  }

  FakeHost host;
  UiModel ui{&host};
  RecordingCanvas canvas;
};

TEST_F(UiModelTest, StartsWithTheDefaultMapAndAsksWhetherLearnIsOffered) {
  MidiMap defaults;
  resetMidiMap(defaults);
  EXPECT_EQ(ui.midiMap, defaults);
  EXPECT_TRUE(ui.effectsPanel.learnAvailable);
  EXPECT_FALSE(ui.learnArmed);
  EXPECT_EQ(ui.learnTarget, -1);
  EXPECT_EQ(ui.newsFont.handle, -1);
  EXPECT_FALSE(ui.learnFont.created);

  FakeHost noLearn;
  noLearn.learnAvailable = false;
  UiModel other(&noLearn);
  EXPECT_FALSE(other.effectsPanel.learnAvailable);
}

TEST_F(UiModelTest, NormalPressesReachFaceThenPanelAndDragsReachBoth) {
  EXPECT_TRUE(ui.handlePointerDown(1, f(459.008f), f(425.6f)));  // trigger
  EXPECT_EQ(host.params.back().index, kTrigger);
  EXPECT_TRUE(ui.handlePointerDown(2, panelX(64), f(51.2064f)));  // reverb knob
  host.clear();
  EXPECT_TRUE(ui.handlePointerDrag(2, panelX(64), f(51.2064f) - 30));
  ASSERT_FALSE(host.params.empty());
  EXPECT_EQ(host.params.back().index, kReverb);
  EXPECT_FALSE(ui.handlePointerDrag(1, 0, 0)) << "a button does not drag";
  EXPECT_FALSE(ui.handlePointerDown(3, 2, 2)) << "empty space";
}

TEST_F(UiModelTest, LearnPressesChooseMoveAndClearTargetsWithoutMovingControls) {
  ui.setLearnArmed(true);
  EXPECT_TRUE(ui.effectsPanel.learnArmed);
  host.clear();

  EXPECT_TRUE(ui.handlePointerDown(1, f(590.464f), f(428.288f)));  // hold
  EXPECT_EQ(ui.learnTarget, kHold);
  EXPECT_TRUE(ui.handlePointerDown(1, f(459.008f), f(425.6f)));  // trigger: target moves
  EXPECT_EQ(ui.learnTarget, kTrigger);
  EXPECT_TRUE(ui.handlePointerDown(1, panelX(64), f(481.2864f)));  // time knob
  EXPECT_EQ(ui.learnTarget, kTime);
  EXPECT_EQ(host.log, (Log{"redraw", "redraw", "redraw"}));
  EXPECT_EQ(host.saves, 0);
  EXPECT_FALSE(ui.handlePointerDrag(1, panelX(64), 0));

  // A second click on the target removes its mapping and saves the map.
  ASSERT_EQ(ui.midiMap.slots[midiTargetSlot(kTime)].type, MidiSourceType::kCc);
  host.clear();
  EXPECT_TRUE(ui.handlePointerDown(1, panelX(64), f(481.2864f)));
  EXPECT_EQ(ui.midiMap.slots[midiTargetSlot(kTime)].type, MidiSourceType::kNone);
  EXPECT_EQ(ui.learnTarget, -1);
  EXPECT_EQ(host.log, (Log{"save", "redraw"}));
  EXPECT_EQ(host.lastSavedMap, &ui.midiMap);

  // Empty space only redraws; nothing ever reached a parameter.
  host.clear();
  EXPECT_TRUE(ui.handlePointerDown(1, 2, 2));
  EXPECT_EQ(host.log, (Log{"redraw"}));
  EXPECT_EQ(ui.face.values[kHold], 0.0f);
}

TEST_F(UiModelTest, MidiButtonTogglesLearnAndResetRestoresTheDefaultMap) {
  // The strip at the bottom of the panel: one "MIDI" button while learn mode is off.
  const float stripY = f(564.0f);
  EXPECT_TRUE(ui.handlePointerDown(1, panelX(100), stripY));
  EXPECT_TRUE(ui.learnArmed);
  ui.learnTarget = kVolume;
  assignMidiMapping(ui.midiMap, kVolume, MidiMapping{MidiSourceType::kNote, 40, 2});
  ui.face.values[kTrigger] = 1;
  ui.face.values[kToneBtn] = 1;
  host.clear();

  EXPECT_TRUE(ui.handlePointerDown(1, panelX(100), stripY));  // "RESET" on the right half
  MidiMap defaults;
  resetMidiMap(defaults);
  EXPECT_EQ(ui.midiMap, defaults);
  EXPECT_TRUE(ui.learnArmed);
  EXPECT_EQ(ui.learnTarget, -1);
  EXPECT_EQ(host.log, (Log{"set 6 0", "set 4 0", "save", "redraw"}));

  host.clear();
  EXPECT_TRUE(ui.handlePointerDown(1, panelX(20), stripY));  // "MIDI" on the left half
  EXPECT_FALSE(ui.learnArmed);
  EXPECT_FALSE(ui.effectsPanel.learnArmed);
  EXPECT_EQ(host.log, (Log{"redraw"}));
}

TEST_F(UiModelTest, ReleaseMomentaryButtonsSendsTriggerCorvaThenTone) {
  ui.face.values[kToneBtn] = 1;
  ui.face.values[kCorvaBtn] = 0.5f;
  ui.face.values[kTrigger] = 0.7f;
  ui.releaseMomentaryButtons();
  EXPECT_EQ(host.log, (Log{"set 6 0", "set 5 0", "set 4 0"}));
  host.clear();
  ui.face.values[kToneBtn] = 0.49f;
  ui.face.values[kCorvaBtn] = 0;
  ui.face.values[kTrigger] = 0;
  ui.releaseMomentaryButtons();
  EXPECT_TRUE(host.log.empty());
}

TEST_F(UiModelTest, NewsPanelTakesPressesFirst) {
  showNotice();
  // The body swallows a press even over the reverb knob beneath it.
  ASSERT_EQ(ui.effectsPanel.hitTest(panelX(64), 45), kReverb);
  host.clear();
  EXPECT_TRUE(ui.handlePointerDown(1, panelX(64), 45));
  EXPECT_TRUE(host.log.empty());
  EXPECT_FALSE(ui.handlePointerDrag(1, panelX(64), 0));

  // The link: 12.8 + 5 characters of 10 units ("Read ") from the left.
  host.openSucceeds = false;
  EXPECT_TRUE(ui.handlePointerDown(1, 12.8f + 50 + 5, 25));
  EXPECT_EQ(host.log, (Log{"open https://example.com/a", "redraw"}));
  EXPECT_EQ(ui.newsView.hasStatus, 1);
  EXPECT_STREQ(ui.newsView.status, "https://example.com/a");

  host.clear();
  EXPECT_TRUE(ui.handlePointerDown(1, 648 - 6.4f - 19.2f, 25));  // the close box
  EXPECT_EQ(host.log, (Log{"dismiss n1"}));

  // Below the strip the face takes presses again.
  host.clear();
  EXPECT_TRUE(ui.handlePointerDown(2, f(459.008f), f(425.6f)));
  EXPECT_EQ(host.params.back().index, kTrigger);
}

TEST_F(UiModelTest, DrawRootLaysOutFaceAndPanelAt648Pixels) {
  // Checked on the vector face, whose only transforms are the draw root's: the knob and
  // switch images bring transforms of their own.
  canvas.failImages = true;
  ui.face.imagesCreated = false;
  draw();
  EXPECT_FLOAT_EQ(ui.face.originX, 0);
  EXPECT_FLOAT_EQ(ui.face.originY, 0);
  EXPECT_FLOAT_EQ(ui.face.pixelScale * 736, 552);
  EXPECT_FLOAT_EQ(ui.effectsPanel.originX, 552);
  EXPECT_FLOAT_EQ(ui.effectsPanel.originY, 0);
  EXPECT_FLOAT_EQ(ui.effectsPanel.pixelScale * 128, 96);
  // The panel's background fills 128 x 573.44 panel units: 430.08 pixels high.
  EXPECT_FLOAT_EQ(ui.effectsPanel.pixelScale * 573.44f, 430.08f);
  EXPECT_EQ(canvas.saveDepth, 0);
  EXPECT_FALSE(canvas.restoreUnderflow);
  // The face and the panel each draw inside their own transform.
  EXPECT_EQ(canvas.count("save"), canvas.count("restore"));
  const auto scales = canvas.all("scale");
  ASSERT_EQ(scales.size(), 2u);
  EXPECT_FLOAT_EQ(scales[0].args[0], 0.75f);
  EXPECT_FLOAT_EQ(canvas.all("translate")[1].args[0], 552);

  // At the design width the face sits at the origin at scale 1 and draws untransformed.
  canvas.clear();
  drawUi(ui, canvas, 864, 574, false);
  EXPECT_EQ(canvas.count("save"), 1) << "only the panel saves";
  EXPECT_EQ(canvas.all("translate")[0].args[0], 736);
}

TEST_F(UiModelTest, FitLetterboxesTheDesignInTheWindow) {
  canvas.clear();
  drawUi(ui, canvas, 1000, 431, true);  // too wide: bars left and right
  const float drawn = 431 * 135 / 89.6f;
  EXPECT_NEAR(ui.face.originX, (1000 - drawn) / 2, 1e-3f);
  EXPECT_NEAR(ui.face.pixelScale, drawn / 864, 1e-6f);
  drawUi(ui, canvas, 648, 600, true);  // too tall: bars above and below
  EXPECT_FLOAT_EQ(ui.face.originX, 0);
  EXPECT_NEAR(ui.face.originY, (600 - 430.08f) / 2, 1e-3f);
  EXPECT_NEAR(ui.effectsPanel.originY, ui.face.originY, 1e-6f);
}

TEST_F(UiModelTest, LayersDrawInOrderWithTheNewsStripLast) {
  ui.setLearnArmed(true);
  showNotice();
  int panelBackground = -1, firstRing = -1, strip = -1;
  for (std::size_t i = 0; i < canvas.calls.size(); ++i) {
    const auto& c = canvas.calls[i];
    if (c.op == "rect" && c.args[2] == 128 && panelBackground < 0) panelBackground = int(i);
    if (c.op == "circle" && std::abs(c.args[2] - 38.4f * 0.75f) < 1e-3f && firstRing < 0) firstRing = int(i);
    if (c.op == "rect" && c.args[3] == 51.2f) strip = int(i);
  }
  ASSERT_GE(panelBackground, 0);
  ASSERT_GE(firstRing, 0);
  ASSERT_GE(strip, 0);
  EXPECT_LT(panelBackground, firstRing);
  EXPECT_LT(firstRing, strip);
  EXPECT_EQ(canvas.saveDepth, 0);
}

}  // namespace
}  // namespace corva
