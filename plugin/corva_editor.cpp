// The editor's lifecycle: the graphics factory, the layout, the key handler, the aspect
// rule for resizing, and the work done when the editor opens and closes.

#include <cmath>

#include "framework/igraphics_linux.h"
#include "model/midi_map_file.h"
#include "plugin/corva_control.h"
#include "plugin/corva_plug.h"

using namespace corva;
using namespace iplug::igraphics;

namespace {

constexpr int kEditorMinWidth = 432;
constexpr int kEditorMaxWidth = 2592;

}  // namespace

int corva::editorHeightForWidth(int w) { return static_cast<int>(std::ceil(w * static_cast<double>(89.6f) / 135.0)); }

void CorvaPlug::installEditorFunctions() {
  mMakeGraphicsFunc = [this]() -> IGraphics* {
    return MakeGraphics(*this, kEditorWidth, editorHeightForWidth(kEditorWidth), 60, 1.f);
  };
  mLayoutFunc = [this](IGraphics* g) { layoutEditor(*g); };
}

void CorvaPlug::layoutEditor(IGraphics& g) {
  const IRECT bounds(0.f, 0.f, static_cast<float>(g.Width()), static_cast<float>(g.Height()));
  if (g.NControls() > 0) {
    for (int i = 0; i < g.NControls(); ++i) g.GetControl(i)->SetTargetAndDrawRECTs(bounds);
    return;
  }
  g.SetLayoutOnResize(true);
  // Another instance (or the other program) may have saved a map meanwhile; a map that
  // failed to save is newer than the file and stays.
  if (!midiMapSaveFailed) uiModel.midiMap = loadMidiMap();
  g.SetKeyHandlerFunc([this](const IKeyPress& key, bool isUp) { return onKeyPress(key, isUp); });
  g.HandleMouseOver(true);
  g.AttachPanelBackground(IColor(255, 0, 0, 0));
  // The window around an editor that does not fill it shows the face's dark surround.
  g.SetSurroundColor(IColor(255, 28, 28, 28));
  g.AttachControl(new CorvaControl(bounds, &uiModel), 1, "");
}

bool CorvaPlug::onKeyPress(const IKeyPress& key, bool isUp) {
  const bool escape = key.VK == kVK_ESCAPE || key.utf8[0] == 27;
  if (escape && !isUp && uiModel.learnArmed) {
    uiModel.setLearnArmed(false);
    return true;
  }
  const bool space = key.VK == kVK_SPACE || (key.utf8[0] == ' ' && key.utf8[1] == '\0');
  if (space && IsSpaceTriggerEnabled()) {
    if (!isUp) {
      if (spaceHeld) return true;  // keyboard auto-repeat
      spaceHeld = true;
      setParameter(kTrigger, 1.0f);
    } else {
      if (!spaceHeld) return true;
      spaceHeld = false;
      setParameter(kTrigger, 0.0f);
    }
    return true;
  }
  return false;
}

bool CorvaPlug::ConstrainEditorResize(int& w, int& h) const {
  const int dw = std::abs(w - GetEditorWidth());
  const int dh = std::abs(h - GetEditorHeight());
  int width = w;
  if (h != editorHeightForWidth(w) && dh > dw) {
    // The height leads: the widest width whose height does not exceed it.
    width = static_cast<int>(std::floor(h * 135.0 / static_cast<double>(89.6f)));
    while (width > 0 && editorHeightForWidth(width) > h) --width;
  }
  width = std::min(std::max(width, kEditorMinWidth), kEditorMaxWidth);
  const int height = editorHeightForWidth(width);
  if (width == w && height == h) return true;
  w = width;
  h = height;
  return false;
}

void CorvaPlug::OnParentWindowResize(int width, int height) {
  // width x height are editor units (the wrapper converted its host's pixels).
  const int expected = editorHeightForWidth(width);
  if (height == expected) {
    lastAspectWidth = 0;
  } else if (width != lastAspectWidth) {
    // Ask the parent once for the proportioned height of this width; a parent that keeps
    // another height for it is followed on its next call.
    lastAspectWidth = width;
    if (resizeGuard) return;
    resizeGuard = true;
    if (IGraphics* g = GetUI()) {
      g->Resize(width, expected, 1.f, true);
      g->SetAllControlsDirty();
      g->OnDisplayTick();
    } else {
      int w = width, h = expected;
      ConstrainEditorResize(w, h);
      SetEditorSize(w, h);
    }
    resizeGuard = false;
    return;
  }
  // Follow the parent: the largest proportioned editor that fits in its window, within
  // the size limits, placed in that window undistorted.
  int fitWidth = std::min(width, static_cast<int>(std::floor(height * 135.0 / static_cast<double>(89.6f))) + 1);
  while (fitWidth > kEditorMinWidth && editorHeightForWidth(fitWidth) > height) --fitWidth;
  int w = fitWidth, h = editorHeightForWidth(fitWidth);
  ConstrainEditorResize(w, h);
  IGraphics* g = GetUI();
  if (!g) {
    SetEditorSize(w, h);
    return;
  }
  g->Resize(w, h, 1.f, false);
  g->SetWindowArea(width, height);
  g->SetAllControlsDirty();
  g->OnDisplayTick();
}

void CorvaPlug::OnUIOpen() {
  SendCurrentParamValuesFromDelegate();
  refreshNewsOnOpen();
}

void CorvaPlug::OnUIClose() {
  if (uiModel.learnArmed) uiModel.setLearnArmed(false);
  // A map that could not be saved gets another try before the user walks away from it.
  if (midiMapSaveFailed) saveMidiMap(uiModel.midiMap);
  // The closing window's drawing context takes its images and fonts with it; the next
  // editor creates them again on its first draw.
  for (int& image : uiModel.face.images) image = 0;
  uiModel.face.imagesCreated = false;
  uiModel.effectsPanel.font = FontState{};
  uiModel.newsFont = FontState{};
  uiModel.learnFont = FontState{};
  // The host never waits for the end of a gesture whose pointer went with the window.
  EndAllParameterGesturesFromUI();
}
