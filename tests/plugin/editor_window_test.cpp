// The module's editor in a real X11 window under Xvfb: the in-process host embeds the
// view in a window of its own and drives it from its run loop; xdotool plays the user.
// Pictures of what the window showed are written into the build folder.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "tests/plugin/editor_fixture.h"
#include "tests/support/data_home.h"
#include "tests/vst3/editor_host.h"
#include "tests/vst3/test_host.h"
#include "ui/draw_root.h"
#include "ui/face_model.h"

namespace {

using namespace Steinberg;
using namespace corvatest;
using namespace std::chrono_literals;

const corva::test::ScopedDataHome dataHome;

// Parameter IDs, in the instrument's parameter order.
enum : Vst::ParamID { kTone = 0, kMode, kSpeed, kVolume, kToneBtn, kCorvaBtn, kTrigger, kHold };
constexpr Vst::ParamID kFirstCcParam = 65538;

// Points of the 648-pixel editor: the tone selector, the volume knob and the effects
// panel's MIDI button.
constexpr int kToneX = 108, kToneY = 121;
constexpr int kVolumeX = 106, kVolumeY = 325;
constexpr int kMidiX = 599, kMidiY = 422;
constexpr int kTriggerX = 344, kTriggerY = 319;

Module& TheModule() {
  static Module* m = new Module(ModulePath());
  return *m;
}

// Renders n frames at 48 kHz in blocks of 512, the first block with `changes`.
void Render(Instance& in, int n, ParamChanges* changes = nullptr) {
  for (int done = 0; done < n; done += 512) ASSERT_EQ(in.process(512, done == 0 ? changes : nullptr), kResultOk);
}

double RecentPitch(Instance& in) {
  const size_t to = in.left.size();
  return Pitch(in.left, to - 6000, to, 48000.0, 60, 3000);
}

class EditorWindow : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(TheModule().ok()) << TheModule().error(); }
  HostLoop loop;
};

TEST_F(EditorWindow, ShowsTheSamePictureAsTheOffscreenDrawing) {
  OpenEditor ed(TheModule(), loop);
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

namespace {

TEST_F(EditorWindow, PointerGesturesReachTheControllerAndTheSound) {
  OpenEditor ed(TheModule(), loop);
  ASSERT_TRUE(ed.attached);
  ed.settled();
  Instance& in = ed.instance;
  Vst::IEditController* c = in.controller();
  ASSERT_EQ(in.start(48000, 512), kResultOk);
  ParamChanges hold;
  hold.add(kTrigger, 0, 1.0);
  Render(in, 24000, &hold);
  const double before = RecentPitch(in);
  int ox = 0, oy = 0;
  ed.window->origin(ox, oy);

  // Drag the tone selector up by two positions.
  const double tone0 = c->getParamNormalized(kTone);
  ASSERT_TRUE(XdoTool("mousemove " + At(ox + kToneX, oy + kToneY) + " mousedown 1 mousemove " +
                      At(ox + kToneX, oy + kToneY - 10) + " mousemove " + At(ox + kToneX, oy + kToneY - 48) +
                      " mouseup 1"));
  ASSERT_TRUE(WaitFor([&] { return c->getParamNormalized(kTone) > tone0; })) << "the tone did not change";
  std::vector<char> kinds;
  // The host hears of the edits on its own thread, a moment later.
  WaitFor([&] {
    kinds.clear();
    for (const auto& e : in.handler().edits())
      if (e.id == kTone) kinds.push_back(e.kind);
    return !kinds.empty() && kinds.back() == 'e';
  });
  ASSERT_GE(kinds.size(), 3u);
  EXPECT_EQ(kinds.front(), 'b');
  EXPECT_EQ(kinds[1], 'p');
  EXPECT_EQ(kinds.back(), 'e');
  Render(in, 14400);
  const double after = RecentPitch(in);
  EXPECT_GT(after, before * 1.3) << before << " Hz, then " << after << " Hz";

  // Three wheel notches down over the volume knob.
  const double volume0 = c->getParamNormalized(kVolume);
  ASSERT_TRUE(XdoTool("mousemove " + At(ox + kVolumeX, oy + kVolumeY) + " click 5 click 5 click 5"));
  ASSERT_TRUE(WaitFor([&] { return c->getParamNormalized(kVolume) < volume0 - 0.05; }))
      << c->getParamNormalized(kVolume);
  Save(ed.settled(), "editor-window-after-gestures");

  // Both buttons on the volume knob; the left goes up first. The right button's drag
  // must keep arriving, and when it goes up too nothing keeps the pointer grabbed.
  const double volume1 = c->getParamNormalized(kVolume);
  ASSERT_TRUE(XdoTool("mousemove " + At(ox + kVolumeX, oy + kVolumeY) + " mousedown 3 mousedown 1 mouseup 1 sleep 0.3" +
                      " mousemove " + At(ox + kVolumeX, oy + kVolumeY - 10) + " mousemove " +
                      At(ox + kVolumeX, oy + kVolumeY - 60) + " sleep 0.2 mouseup 3"));
  EXPECT_TRUE(WaitFor([&] { return c->getParamNormalized(kVolume) > volume1 + 0.05; }))
      << "the right button's drag after the left button's release";
  EXPECT_TRUE(WaitFor([&] { return ed.window->pointerFree(); }));
}

TEST_F(EditorWindow, MidiLearnByClicksAndAController) {
  OpenEditor ed(TheModule(), loop);
  ASSERT_TRUE(ed.attached);
  ed.settled();
  Instance& in = ed.instance;
  ASSERT_EQ(in.start(48000, 512), kResultOk);
  int ox = 0, oy = 0;
  ed.window->origin(ox, oy);
  // MIDI on, then choose the tone selector as the target.
  ASSERT_TRUE(XdoTool("mousemove " + At(ox + kMidiX, oy + kMidiY) + " click 1"));
  std::this_thread::sleep_for(100ms);
  ASSERT_TRUE(XdoTool("mousemove " + At(ox + kToneX, oy + kToneY) + " click 1"));
  std::this_thread::sleep_for(100ms);
  Save(ed.settled(), "editor-window-learn-target");
  // Controller 20 is learned for the tone selector, then moves it to its last position.
  ParamChanges cc;
  cc.add(kFirstCcParam + 20, 0, 0.5);
  Render(in, 512, &cc);
  const std::string mapFile = dataHome.folder() + "/midi-map.txt";
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(mapFile); })) << "the learned map was saved";
  ParamChanges top;
  top.add(kFirstCcParam + 20, 0, 1.0);
  Render(in, 512, &top);
  EXPECT_TRUE(WaitFor([&] { return in.controller()->getParamNormalized(kTone) == 1.0; }))
      << in.controller()->getParamNormalized(kTone);
}

TEST_F(EditorWindow, ResizesKeepTheAspect) {
  OpenEditor ed(TheModule(), loop);
  ASSERT_TRUE(ed.attached);
  ed.settled();
  ViewRect proposed(0, 0, 1000, 700);
  loop.call([&] { ed.view->checkSizeConstraint(&proposed); });
  EXPECT_EQ(proposed.getWidth(), 1000);
  EXPECT_EQ(proposed.getHeight(), 664);
  // A host that sizes its frame without asking first: the editor asks for the aspect.
  ed.window->resize(800, 600);
  ViewRect dragged(0, 0, 800, 600);
  loop.call([&] { ed.view->onSize(&dragged); });
  const auto requests = loop.resizeRequests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back().getWidth(), 800);
  EXPECT_EQ(requests.back().getHeight(), 531);
  ViewRect now;
  loop.call([&] { ed.view->getSize(&now); });
  EXPECT_EQ(now.getWidth(), 800);
  EXPECT_EQ(now.getHeight(), 531);
  // A host screen with two pixels per unit: sizes are given in the host's pixels.
  loop.call([&] {
    FUnknownPtr<IPlugViewContentScaleSupport> scaling(ed.view);
    ASSERT_TRUE(scaling);
    EXPECT_EQ(scaling->setContentScaleFactor(2.f), kResultTrue);
    ViewRect px(0, 0, 2000, 1400);
    ed.view->checkSizeConstraint(&px);
    EXPECT_EQ(px.getWidth(), 2000);
    EXPECT_EQ(px.getHeight(), 1328);
    EXPECT_EQ(scaling->setContentScaleFactor(1.f), kResultTrue);
  });
  // The big editor draws the same picture as the offscreen drawing at that size.
  ed.window->resize(1296, 862);
  ViewRect big(0, 0, 1296, 862);
  loop.call([&] { ed.view->onSize(&big); });
  const Image shown = ed.settled();
  Save(shown, "editor-window-1296");
  EXPECT_LT(DifferingShare(shown, OffscreenPicture(1296, 862), 24), 0.01);
}

// The editor's picture drawn offscreen at ew x eh pixels, placed at (x, y) in a window of
// w x h pixels whose rest shows the face's dark surround.
Image Placed(int w, int h, int ew, int eh, int x, int y) {
  const Image editor = OffscreenPicture(ew, eh);
  Image img{w, h, std::vector<unsigned char>(size_t(w) * size_t(h) * 4)};
  for (size_t i = 0; i < img.rgba.size(); i += 4) {
    img.rgba[i] = img.rgba[i + 1] = img.rgba[i + 2] = 28;
    img.rgba[i + 3] = 255;
  }
  for (int row = 0; row < eh && y + row < h; ++row)
    for (int col = 0; col < ew && x + col < w; ++col)
      std::copy_n(editor.at(col, row), 4, &img.rgba[(size_t(y + row) * size_t(w) + size_t(x + col)) * 4]);
  return img;
}

// The window pixel `dy` design units below the drawn TRIG button's centre, for an editor
// ew pixels wide whose top-left corner is at (x, y) in the window.
void TriggerPoint(int ew, int x, int y, float dy, int& px, int& py) {
  float cx = 0, cy = 0;
  corva::faceControlCentre(corva::kTrigger, cx, cy);
  const float s = float(ew) / corva::kUiDesignWidth;
  px = x + int(cx * s);
  py = y + int((cy + dy) * s);
}

ViewRect SizeOf(IPlugView* view, HostLoop& loop) {
  ViewRect r;
  loop.call([&] { view->getSize(&r); });
  return r;
}

TEST_F(EditorWindow, EchoedSizesHoldStillAtContentScalesOneAndTwo) {
  for (const int scale : {1, 2}) {
    SCOPED_TRACE(scale);
    OpenEditor ed(TheModule(), loop, 0, 0, true, float(scale));
    ASSERT_TRUE(ed.attached);
    EXPECT_EQ(ed.size.getWidth(), 648 * scale);
    EXPECT_EQ(ed.size.getHeight(), 431 * scale);
    // The host hands the size it was told back, again and again: nothing moves.
    const size_t asked = loop.resizeRequests().size();
    for (int i = 0; i < 3; ++i) {
      ViewRect echo = SizeOf(ed.view, loop);
      loop.call([&] { ed.view->onSize(&echo); });
    }
    const ViewRect now = SizeOf(ed.view, loop);
    EXPECT_EQ(now.getWidth(), 648 * scale);
    EXPECT_EQ(now.getHeight(), 431 * scale);
    EXPECT_EQ(loop.resizeRequests().size(), asked) << "the editor asked for no other size";
    const Image shown = ed.settled();
    Save(shown, "editor-window-scale" + std::to_string(scale));
    EXPECT_LT(DifferingShare(shown, OffscreenPicture(648 * scale, 431 * scale), 24), 0.01);
    // A click on the drawn TRIG plays it for as long as it is held.
    Vst::IEditController* c = ed.instance.controller();
    int ox = 0, oy = 0, tx = 0, ty = 0;
    ed.window->origin(ox, oy);
    TriggerPoint(648 * scale, 0, 0, 0.f, tx, ty);
    ASSERT_TRUE(XdoTool("mousemove " + At(ox + tx, oy + ty) + " mousedown 1"));
    EXPECT_TRUE(WaitFor([&] { return c->getParamNormalized(kTrigger) == 1.0; }));
    ASSERT_TRUE(XdoTool("mouseup 1"));
    EXPECT_TRUE(WaitFor([&] { return c->getParamNormalized(kTrigger) == 0.0; }));
    // The next editor opens at the same size.
    ASSERT_TRUE(ed.reopen());
    EXPECT_EQ(ed.size.getWidth(), 648 * scale);
    // Sizes the rule cannot take are reported as the editor draws them.
    const struct {
      int w, h, wantW, wantH;
    } odd[] = {{0, 0, 432, 287}, {100, 5000, 432, 287}, {5000, 5000, 2592, 1721}};
    for (const auto& o : odd) {
      ViewRect given(0, 0, o.w * scale, o.h * scale);
      loop.call([&] { ed.view->onSize(&given); });
      const ViewRect drawn = SizeOf(ed.view, loop);
      EXPECT_EQ(drawn.getWidth(), o.wantW * scale) << o.w << " x " << o.h;
      EXPECT_EQ(drawn.getHeight(), o.wantH * scale) << o.w << " x " << o.h;
    }
  }
}

TEST_F(EditorWindow, HostChosenWindowShowsTheEditorUndistortedWherePointersHitIt) {
  for (const int scale : {1, 2}) {
    SCOPED_TRACE(scale);
    // A host that sizes its window itself and keeps that size when asked for another.
    OpenEditor ed(TheModule(), loop, 0, 0, /*withFrame*/ false, float(scale));
    ASSERT_TRUE(ed.attached);
    const int w = 1000 * scale, h = 700 * scale;
    ed.window->resize(w, h);
    ViewRect given(0, 0, w, h);
    for (int i = 0; i < 2; ++i) loop.call([&] { ed.view->onSize(&given); });
    const ViewRect drawn = SizeOf(ed.view, loop);
    EXPECT_EQ(drawn.getWidth(), 1000 * scale);
    EXPECT_EQ(drawn.getHeight(), 664 * scale);
    // Drawn at the proportioned size, centred in the window, with the surround around it.
    const int ex = 0, ey = (h - 664 * scale) / 2;
    const Image shown = ed.settled();
    Save(shown, "editor-window-host-sized-scale" + std::to_string(scale));
    ASSERT_EQ(shown.w, w);
    ASSERT_EQ(shown.h, h);
    EXPECT_LT(DifferingShare(shown, Placed(w, h, 1000 * scale, 664 * scale, ex, ey), 24), 0.01);
    // The lower half of the drawn TRIG plays it.
    Vst::IEditController* c = ed.instance.controller();
    int ox = 0, oy = 0, tx = 0, ty = 0;
    ed.window->origin(ox, oy);
    TriggerPoint(1000 * scale, ex, ey, 12.f, tx, ty);
    ASSERT_TRUE(XdoTool("mousemove " + At(ox + tx, oy + ty) + " mousedown 1"));
    EXPECT_TRUE(WaitFor([&] { return c->getParamNormalized(kTrigger) == 1.0; })) << "pressed at " << tx << ", " << ty;
    // Held through a host resize: the resize lets go of it.
    ed.window->resize(800 * scale, 531 * scale);
    ViewRect smaller(0, 0, 800 * scale, 531 * scale);
    loop.call([&] { ed.view->onSize(&smaller); });
    EXPECT_TRUE(WaitFor([&] { return c->getParamNormalized(kTrigger) == 0.0; })) << "released by the resize";
    ASSERT_TRUE(XdoTool("mouseup 1"));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(c->getParamNormalized(kTrigger), 0.0);
  }
}

TEST_F(EditorWindow, PartlyRedrawnPictureEqualsTheWholeDrawing) {
  OpenEditor ed(TheModule(), loop);
  ASSERT_TRUE(ed.attached);
  ed.settled();
  Instance& in = ed.instance;
  ASSERT_EQ(in.start(48000, 512), kResultOk);
  // A held note lights the LED: only its part of the window is drawn again, tick by tick.
  ParamChanges hold;
  hold.add(kTrigger, 0, 1.0);
  Render(in, 12000, &hold);
  std::this_thread::sleep_for(300ms);
  const Image partly = ed.settled();
  Save(partly, "editor-window-led-partly-redrawn");
  // The host hands the same size back: the whole picture is drawn again.
  const auto drawnWhole = [&] {
    ViewRect same = SizeOf(ed.view, loop);
    loop.call([&] { ed.view->onSize(&same); });
    return ed.settled();
  };
  EXPECT_NE(DifferingShare(partly, OffscreenPicture(648, 431), 24), 0.0) << "the LED is lit";
  EXPECT_LT(DifferingShare(partly, drawnWhole(), 2), 0.001);
  // The volume knob turned by the wheel: its part only.
  int ox = 0, oy = 0;
  ed.window->origin(ox, oy);
  const double volume0 = in.controller()->getParamNormalized(kVolume);
  ASSERT_TRUE(XdoTool("mousemove " + At(ox + kVolumeX, oy + kVolumeY) + " click 5 click 5 click 5"));
  ASSERT_TRUE(WaitFor([&] { return in.controller()->getParamNormalized(kVolume) < volume0 - 0.05; }));
  const Image turned = ed.settled();
  Save(turned, "editor-window-volume-partly-redrawn");
  EXPECT_LT(DifferingShare(turned, drawnWhole(), 2), 0.001);
}

TEST_F(EditorWindow, OpenedAndClosedFiftyTimesAndFourAtOnce) {
  Image first;
  {
    OpenEditor ed(TheModule(), loop);
    ASSERT_TRUE(ed.attached);
    first = ed.settled();
  }
  Instance in(TheModule().factory());
  ParentWindow window(648, 431);
  ASSERT_TRUE(window.ok());
  for (int i = 0; i < 50; ++i) {
    IPlugView* view = nullptr;
    bool attached = false;
    loop.call([&] {
      view = in.controller()->createView(Vst::ViewType::kEditor);
      view->setFrame(loop.frame());
      attached = view->attached(window.id(), kPlatformTypeX11EmbedWindowID) == kResultOk;
    });
    ASSERT_TRUE(attached) << i;
    if (i == 49) {
      // The last editor made its fonts and images anew: the same picture as the first.
      EXPECT_LT(DifferingShare(Settled(window), first, 8), 0.001);
    }
    loop.call([&] {
      EXPECT_EQ(view->removed(), kResultOk);
      view->release();
    });
  }
  EXPECT_EQ(loop.registrations(), 0) << "every run-loop registration was undone";

  std::vector<std::unique_ptr<OpenEditor>> four;
  for (int i = 0; i < 4; ++i)
    four.push_back(std::make_unique<OpenEditor>(TheModule(), loop, 660 * (i % 2), 440 * (i / 2), /*withFrame*/ i < 3));
  for (auto& ed : four) {
    ASSERT_TRUE(ed->attached);
    EXPECT_LT(DifferingShare(ed->settled(), first, 8), 0.001);
  }
}

// Each gesture reaches the host as one edit: begin at the press, a perform for each
// change and none for a move that changes nothing, end at the release; a wheel notch is
// a gesture of its own.
TEST_F(EditorWindow, EveryGestureIsOneEditForTheHost) {
  OpenEditor ed(TheModule(), loop);
  ASSERT_TRUE(ed.attached);
  ed.settled();
  Instance& in = ed.instance;
  int ox = 0, oy = 0;
  ed.window->origin(ox, oy);
  auto kinds = [&](Vst::ParamID id) {
    std::string k;
    for (const auto& e : in.handler().edits())
      if (e.id == id) k += e.kind;
    return k;
  };
  auto expectKinds = [&](Vst::ParamID id, const std::string& want) {
    WaitFor([&] { return kinds(id).size() >= want.size(); });
    std::this_thread::sleep_for(100ms);  // anything further would have arrived by now
    EXPECT_EQ(kinds(id), want) << "parameter " << id;
  };

  // The volume knob, from half way, dragged past the top of its range and held there for
  // six moves.
  loop.call([&] { in.controller()->setParamNormalized(kVolume, 0.5); });
  std::string moves;
  for (int dy = 250; dy <= 300; dy += 10) moves += " mousemove " + At(ox + kVolumeX, oy + kVolumeY - dy);
  ASSERT_TRUE(XdoTool("mousemove " + At(ox + kVolumeX, oy + kVolumeY) + " mousedown 1" + moves + " mouseup 1"));
  expectKinds(kVolume, "bpe");
  EXPECT_EQ(in.controller()->getParamNormalized(kVolume), 1.0);

  // Two positions of the tone selector in one move, after a move too short for a step.
  ASSERT_TRUE(XdoTool("mousemove " + At(ox + kToneX, oy + kToneY) + " mousedown 1 mousemove " +
                      At(ox + kToneX, oy + kToneY - 10) + " mousemove " + At(ox + kToneX, oy + kToneY - 48) +
                      " mouseup 1"));
  expectKinds(kTone, "bpe");

  // The trigger: pressed and released within one gesture.
  ASSERT_TRUE(XdoTool("mousemove " + At(ox + kTriggerX, oy + kTriggerY) + " mousedown 1 sleep 0.1 mouseup 1"));
  expectKinds(kTrigger, "bppe");

  // Three wheel notches down over the volume knob: three gestures.
  ASSERT_TRUE(XdoTool("mousemove " + At(ox + kVolumeX, oy + kVolumeY) + " click 5 click 5 click 5"));
  expectKinds(kVolume, "bpebpebpebpe");

  // A drag held through a host resize: the resize lets go of the knob and the host hears
  // the gesture end then; the release that follows adds nothing.
  ASSERT_TRUE(XdoTool("mousemove " + At(ox + kVolumeX, oy + kVolumeY) + " mousedown 1 mousemove " +
                      At(ox + kVolumeX, oy + kVolumeY + 40)));
  WaitFor([&] { return kinds(kVolume).size() >= 14; });
  ed.window->resize(800, 531);
  ViewRect smaller(0, 0, 800, 531);
  loop.call([&] { ed.view->onSize(&smaller); });
  expectKinds(kVolume, "bpebpebpebpebpe");
  ASSERT_TRUE(XdoTool("mouseup 1"));
  expectKinds(kVolume, "bpebpebpebpebpe");
}

}  // namespace
