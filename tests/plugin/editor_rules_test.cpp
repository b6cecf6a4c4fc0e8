// The editor's rules on a graphics object without a window: the aspect rule, the parent
// resize, the keys, closing, the pointer bookkeeping of the full-window control, the
// wheel, the news notice handed to the interface, and URL opening.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "framework/igraphics.h"
#include "framework/iplug_api_base.h"
#include "framework/open_url.h"
#include "model/midi_map_file.h"
#include "plugin/corva_control.h"
#include "plugin/corva_plug.h"
#include "tests/plugin/plug_instance.h"
#include "tests/support/data_home.h"
#include "tests/ui/recording_canvas.h"
#include "ui/draw_root.h"

namespace {

using namespace corva;
using namespace iplug::igraphics;

const test::ScopedDataHome dataHome;

// A graphics object whose "window" opens anywhere and whose mouse buttons the test sets.
class WindowlessGraphics : public IGraphics {
 public:
  using IGraphics::IGraphics;
  void* OpenWindow(void*) override { return this; }
  void* GetWindow() override { return this; }
  bool GetMouseButtonState(bool& l, bool& r) override {
    l = left;
    r = right;
    return true;
  }
  bool CapturePointer() override {
    ++captures;
    return true;
  }
  bool IsTopLevelWindowInForeground() override { return inFront; }
  bool left = false, right = false, inFront = true;
  int captures = 0;
};

struct Editor {
  Editor() : plug(test::makeIdlePlug()) {
    plug->SetMakeGraphicsFunc([this] { return g = new WindowlessGraphics(*plug, 648, 431, 60, 1.f); });
    EXPECT_NE(plug->OpenWindow(reinterpret_cast<void*>(1)), nullptr);
    control = dynamic_cast<CorvaControl*>(g->GetControl(1));
    // A window's first frame lays the face and panel out for hit-testing.
    test::RecordingCanvas canvas;
    drawUi(plug->uiModel, canvas, 648.f, 431.f, false);
  }
  void press(float x, float y, bool l, bool r, std::uintptr_t touch = 0) {
    IMouseInfo i{x, y, 0, 0, IMouseMod(l, r, false, false, false, touch)};
    g->OnMouseDown({i});
  }
  void release(float x, float y, bool stillL, bool stillR, std::uintptr_t touch = 0) {
    IMouseInfo i{x, y, 0, 0, IMouseMod(stillL, stillR, false, false, false, touch)};
    g->OnMouseUp({i});
  }
  std::unique_ptr<CorvaPlug> plug;
  WindowlessGraphics* g = nullptr;
  CorvaControl* control = nullptr;
};

// Face points in 648-pixel editor units.
constexpr float kVolumeX = 106, kVolumeY = 325, kToneX = 108, kToneY = 121;

std::vector<std::uint64_t> heldPointers(const CorvaPlug& plug) {
  std::vector<std::uint64_t> ids;
  for (const auto& s : plug.uiModel.face.pointers)
    if (s.control >= 0) ids.push_back(s.pointerId);
  return ids;
}

TEST(EditorRules, AspectRuleForProposedSizes) {
  auto plug = test::makeIdlePlug();
  struct Case {
    int w, h, wantW, wantH;
    bool unchanged;
  } cases[] = {{1000, 600, 1000, 664, false},
               {648, 431, 648, 431, true},
               {300, 200, 432, 287, false},
               {3000, 2000, 2592, 1721, false}};
  for (const Case& c : cases) {
    int w = c.w, h = c.h;
    EXPECT_EQ(plug->ConstrainEditorResize(w, h), c.unchanged) << c.w << "x" << c.h;
    EXPECT_EQ(w, c.wantW);
    EXPECT_EQ(h, c.wantH);
  }
  // A drag that is mostly vertical: the widest width whose height fits.
  plug->SetEditorSize(700, 465);
  int w = 700, h = 500;
  EXPECT_FALSE(plug->ConstrainEditorResize(w, h));
  EXPECT_EQ(w, 753);
  EXPECT_EQ(h, 500);
}

TEST(EditorRules, ParentResizeCorrectsOnceThenFollows) {
  Editor ed;
  ASSERT_NE(ed.plug->GetUI(), nullptr);
  EXPECT_EQ(ed.g->Width(), 648);
  ed.plug->OnParentWindowResize(800, 600);
  EXPECT_EQ(ed.g->Width(), 800);
  EXPECT_EQ(ed.g->Height(), 531);
  EXPECT_EQ(ed.control->GetRECT().H(), 531.f) << "the layout follows the new size";
  // The parent kept 600: passed on to the framework, which keeps the aspect.
  ed.plug->OnParentWindowResize(800, 600);
  EXPECT_EQ(ed.g->Width(), 800);
  EXPECT_EQ(ed.g->Height(), 531);
  // Reopened at the size last chosen.
  ed.plug->CloseWindow();
  EXPECT_NE(ed.plug->OpenWindow(reinterpret_cast<void*>(1)), nullptr);
  EXPECT_EQ(ed.g->Width(), 800);
}

TEST(EditorRules, EscapeEndsLearnAndSpacePlaysOnlyWhereEnabled) {
  Editor ed;
  CorvaPlug& p = *ed.plug;
  const IKeyPress esc("", kVK_ESCAPE), space(" ", kVK_SPACE), shiftSpace(" ", kVK_SPACE, true);
  EXPECT_FALSE(ed.g->OnKeyDown(0, 0, esc)) << "Escape with learn off goes on to the host";
  p.uiModel.setLearnArmed(true);
  p.uiModel.learnTarget = kHold;
  EXPECT_TRUE(ed.g->OnKeyDown(0, 0, esc));
  EXPECT_FALSE(p.uiModel.learnArmed);
  EXPECT_EQ(p.uiModel.learnTarget, -1);
  // The plug-in module: Space is not the editor's.
  EXPECT_FALSE(ed.g->OnKeyDown(0, 0, space));
  EXPECT_EQ(p.GetParam(kTrigger)->Value(), 0.0);
  // The standalone program with its space-bar trigger on: held with auto-repeat, then up.
  p.spaceTriggerEnabled = true;
  const auto editsBefore = p.hostEdits().size();
  EXPECT_TRUE(ed.g->OnKeyDown(0, 0, space));
  EXPECT_TRUE(ed.g->OnKeyDown(0, 0, shiftSpace));
  EXPECT_TRUE(ed.g->OnKeyDown(0, 0, space));
  EXPECT_EQ(p.GetParam(kTrigger)->Value(), 1.0);
  EXPECT_TRUE(ed.g->OnKeyUp(0, 0, space));
  EXPECT_TRUE(ed.g->OnKeyUp(0, 0, space)) << "a second release changes nothing";
  EXPECT_EQ(p.GetParam(kTrigger)->Value(), 0.0);
  int performs = 0;
  const auto edits = p.hostEdits();
  for (auto it = edits.begin() + long(editsBefore); it != edits.end(); ++it)
    performs += it->kind == 'p' && it->idx == kTrigger;
  EXPECT_EQ(performs, 2) << "one press and one release reach the host";
  // Held while the window is in front, released once another window comes to the front.
  EXPECT_TRUE(ed.g->OnKeyDown(0, 0, space));
  p.OnIdle();
  EXPECT_EQ(p.GetParam(kTrigger)->Value(), 1.0);
  ed.g->inFront = false;
  p.OnIdle();
  EXPECT_EQ(p.GetParam(kTrigger)->Value(), 0.0);
  EXPECT_FALSE(p.spaceHeld);
}

TEST(EditorRules, ClosingEndsLearnAndForgetsTheWindowsDrawingResources) {
  Editor ed;
  CorvaPlug& p = *ed.plug;
  p.uiModel.setLearnArmed(true);
  p.uiModel.learnTarget = kTone;
  p.uiModel.face.images[0] = 7;
  p.uiModel.face.imagesCreated = true;
  p.uiModel.newsFont = {3, true};
  p.CloseWindow();
  EXPECT_EQ(p.GetUI(), nullptr);
  EXPECT_FALSE(p.uiModel.learnArmed);
  EXPECT_EQ(p.uiModel.learnTarget, -1);
  EXPECT_EQ(p.uiModel.face.images[0], 0);
  EXPECT_FALSE(p.uiModel.face.imagesCreated);
  EXPECT_EQ(p.uiModel.newsFont.handle, -1);
  EXPECT_FALSE(p.uiModel.newsFont.created);
}

TEST(EditorRules, HeldButtonsAreReleasedOrCapturedAgain) {
  Editor ed;
  // Left on the volume knob, then right on the tone selector while left is held.
  ed.press(kVolumeX, kVolumeY, true, false);
  ed.press(kToneX, kToneY, true, true);
  EXPECT_EQ(heldPointers(*ed.plug), (std::vector<std::uint64_t>{1, 2}));
  ed.press(kToneX, kToneY, true, true);
  EXPECT_EQ(ed.control->heldButtons, 3u) << "a press of a held button presses nothing";
  // The left goes up while the right stays down: the left is released, the capture lost.
  ed.release(kToneX, kToneY, false, true);
  EXPECT_EQ(heldPointers(*ed.plug), (std::vector<std::uint64_t>{2}));
  EXPECT_TRUE(ed.control->releasePending);
  EXPECT_EQ(ed.g->GetCapturedControl(), nullptr);
  // The next draw finds the right button down: capture again, pressing nothing.
  ed.g->right = true;
  ed.g->DrawControls();
  EXPECT_EQ(ed.g->captures, 1);
  EXPECT_EQ(ed.g->GetCapturedControl(), ed.control);
  EXPECT_EQ(heldPointers(*ed.plug), (std::vector<std::uint64_t>{2}));
  // A release that never arrives: the next draw with no button down finishes it.
  ed.press(kVolumeX, kVolumeY, true, true);
  ed.release(kVolumeX, kVolumeY, false, true);
  ed.g->right = false;
  ed.g->DrawControls();
  EXPECT_TRUE(heldPointers(*ed.plug).empty());
  EXPECT_EQ(ed.control->heldButtons, 0u);
  // Both buttons held when the editor closes: both let go, as by their releases.
  ed.press(kVolumeX, kVolumeY, true, false);
  ed.press(kToneX, kToneY, true, true);
  ed.plug->CloseWindow();
  EXPECT_TRUE(heldPointers(*ed.plug).empty());
}

TEST(EditorRules, TouchesNeverShareAPointerWithTheMouse) {
  Editor ed;
  ed.press(kVolumeX, kVolumeY, true, false);            // mouse left: pointer 1
  ed.press(kToneX, kToneY, false, false, /*touch*/ 1);  // touch 1
  EXPECT_EQ(ed.control->heldButtons, 1u) << "touches leave the mouse buttons alone";
  ASSERT_EQ(heldPointers(*ed.plug).size(), 2u);
  ed.release(kToneX, kToneY, false, false, 1);
  EXPECT_EQ(heldPointers(*ed.plug), (std::vector<std::uint64_t>{1})) << "the touch let go of its own control only";
}

TEST(EditorRules, WheelIsFineWithShiftAndIgnoredOverNewsOrInLearn) {
  Editor ed;
  CorvaPlug& p = *ed.plug;
  const float v0 = p.uiModel.face.value(kVolume);
  ed.g->OnMouseWheel(kVolumeX, kVolumeY, IMouseMod(false, false, /*shift*/ true), -1.f);
  const float fineStep = v0 - p.uiModel.face.value(kVolume);
  ed.g->OnMouseWheel(kVolumeX, kVolumeY, IMouseMod(), -1.f);
  const float step = v0 - fineStep - p.uiModel.face.value(kVolume);
  EXPECT_GT(fineStep, 0.f);
  EXPECT_NEAR(step / fineStep, 10.f, 0.5f);
  const float v1 = p.uiModel.face.value(kVolume);
  p.uiModel.newsRects[kNewsPanelRect][0] = 0;
  p.uiModel.newsRects[kNewsPanelRect][1] = 300;
  p.uiModel.newsRects[kNewsPanelRect][2] = 648;
  p.uiModel.newsRects[kNewsPanelRect][3] = 40;
  ed.g->OnMouseWheel(kVolumeX, kVolumeY, IMouseMod(), -1.f);
  EXPECT_EQ(p.uiModel.face.value(kVolume), v1) << "over the news panel";
  p.uiModel.newsRects[kNewsPanelRect][2] = 0;
  p.uiModel.setLearnArmed(true);
  ed.g->OnMouseWheel(kVolumeX, kVolumeY, IMouseMod(), -1.f);
  EXPECT_EQ(p.uiModel.face.value(kVolume), v1) << "in learn mode";
}

TEST(EditorRules, PublishedNoticeIsCutOnCharacterBoundaries) {
  auto plug = test::makeIdlePlug();
  NewsNotice n;
  n.id = std::string(54, 'a') + "\xC3\xA9" + "zzz";  // a two-byte character at bytes 55 and 56
  for (int i = 0; i < 10; ++i) n.segments.push_back({0, "text " + std::to_string(i), ""});
  n.segments[1] = {1, "link", "https://example.com/" + std::string(180, 'x')};
  n.segments[2] = {1, std::string(100, 'b'), "https://example.com/"};
  // A Latin-1 byte, a stray continuation byte and a character cut short at the end.
  n.segments[3] = {0, "caf\xE9 \x80ok \xE2\x82", ""};
  NewsNotice second;
  second.id = std::string(60, 'c');
  plug->notices = {n, second};
  plug->publishNotice();
  const NewsView& v = plug->uiModel.newsView;
  EXPECT_EQ(std::string(v.id), std::string(54, 'a'));
  EXPECT_EQ(v.pageCount, 2);
  EXPECT_EQ(v.segmentCount, 8);
  EXPECT_EQ(v.segments[1].isLink, 0) << "an address too long to keep is shown as plain text";
  EXPECT_STREQ(v.segments[1].url, "");
  EXPECT_EQ(std::string(v.segments[2].text).size(), 95u);
  EXPECT_STREQ(v.segments[3].text, "caf\xEF\xBF\xBD \xEF\xBF\xBDok \xEF\xBF\xBD")
      << "each malformed sequence is shown as one replacement mark, and what follows it stays";
  EXPECT_TRUE(plug->uiModel.effectsPanel.newsShown);
  plug->dismissNotice(n.id.c_str());
  EXPECT_EQ(std::string(plug->uiModel.newsView.id), std::string(55, 'c'));
  plug->dismissNotice(second.id.c_str());
  EXPECT_EQ(plug->uiModel.newsView.pageCount, 0);
  EXPECT_FALSE(plug->uiModel.effectsPanel.newsShown);
}

TEST(EditorRules, FinishedNewsJobsWaitForAnOpenEditor) {
  Editor ed;
  CorvaPlug& p = *ed.plug;
  p.CloseWindow();
  p.seenJobCount = 0xDEADu;  // a job finished since the list was built
  p.OnIdle();
  EXPECT_EQ(p.seenJobCount, 0xDEADu) << "nothing is taken up without an editor";
  EXPECT_NE(p.OpenWindow(reinterpret_cast<void*>(1)), nullptr);
  p.seenJobCount = 0xDEADu;
  p.OnIdle();
  EXPECT_NE(p.seenJobCount, 0xDEADu);
}

TEST(EditorRules, IdleTicksCrossToTheHostLoopAndBackWithoutLossOrRepeat) {
  struct Counting : iplug::IPlugAPIBase {
    using IPlugAPIBase::IPlugAPIBase;
    void OnIdle() override { ++ticks; }
    int ticks = 0;
  } plug{iplug::Config{}};
  plug.OnTimer();
  EXPECT_EQ(plug.ticks, 1) << "the timer thread runs the tick itself";
  ASSERT_GE(plug.RouteIdleToHostLoop(), 0);
  plug.OnTimer();
  plug.OnTimer();
  EXPECT_EQ(plug.ticks, 1) << "while the host's loop drives, the timer only signals";
  plug.OnHostIdleEvent();
  EXPECT_EQ(plug.ticks, 2) << "ticks that piled up run once";
  plug.OnHostIdleEvent();
  EXPECT_EQ(plug.ticks, 2) << "no signal, no tick";
  plug.OnTimer();
  plug.RouteIdleToTimer();
  EXPECT_EQ(plug.ticks, 3) << "a signalled tick the host had not run yet runs at the switch";
  plug.RouteIdleToTimer();
  plug.OnTimer();
  EXPECT_EQ(plug.ticks, 4);
}

TEST(EditorRules, UrlsReachTheBrowserAsOneArgumentWithoutAShell) {
  namespace fs = std::filesystem;
  const fs::path bin = fs::path(dataHome.root) / "bin";
  fs::create_directories(bin);
  const fs::path seen = fs::path(dataHome.root) / "seen";
  std::ofstream(bin / "xdg-open") << "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > '" << seen.string() << "'\n";
  fs::permissions(bin / "xdg-open", fs::perms::owner_all);
  const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", (bin.string() + ":" + oldPath).c_str(), 1);
  const fs::path marker = fs::path(dataHome.root) / "marker";
  const std::string url = "https://example.com/a b;touch " + marker.string() + "&$(touch " + marker.string() + ")";
  EXPECT_TRUE(iplug::OpenUrlInBrowser(url.c_str()));
  std::ifstream in(seen);
  std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(got, "1|" + url);
  EXPECT_FALSE(fs::exists(marker));
  EXPECT_FALSE(iplug::OpenUrlInBrowser("--help"));
  EXPECT_FALSE(iplug::OpenUrlInBrowser(""));
  EXPECT_FALSE(iplug::OpenUrlInBrowser("https://example.com/\nx"));
  setenv("PATH", oldPath.c_str(), 1);
}

}  // namespace

namespace {

TEST(EditorRules, MidiMapThatCouldNotBeSavedIsKeptAndSavedAgainOnClosing) {
  namespace fs = std::filesystem;
  // A file where the data folder belongs: nothing can be written there.
  fs::remove_all(dataHome.folder());
  fs::create_directories(fs::path(dataHome.folder()).parent_path());
  std::ofstream(dataHome.folder()) << "x";
  Editor ed;
  CorvaPlug& p = *ed.plug;
  testing::internal::CaptureStderr();
  p.uiModel.learnSource(kTone, MidiMapping{MidiSourceType::kCc, 21, 0});
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find(dataHome.folder() + "/midi-map.txt"), std::string::npos) << said;
  EXPECT_TRUE(p.midiMapSaveFailed);
  const std::string learned = formatMidiMap(p.uiModel.midiMap);

  // Still blocked when the editor closes; the next editor keeps the map all the same.
  testing::internal::CaptureStderr();
  p.CloseWindow();
  EXPECT_NE(testing::internal::GetCapturedStderr().find("midi-map.txt"), std::string::npos);
  EXPECT_NE(p.OpenWindow(reinterpret_cast<void*>(1)), nullptr);
  EXPECT_EQ(formatMidiMap(p.uiModel.midiMap), learned);

  // Once the folder can be written, closing the editor saves it.
  fs::remove(dataHome.folder());
  p.CloseWindow();
  EXPECT_FALSE(p.midiMapSaveFailed);
  std::ifstream in(dataHome.folder() + "/midi-map.txt");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, learned);
  fs::remove(dataHome.folder() + "/midi-map.txt");
}

}  // namespace
