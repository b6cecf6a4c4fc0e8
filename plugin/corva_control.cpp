#include "plugin/corva_control.h"

#include "framework/igraphics.h"
#include "ui/draw_root.h"
#include "ui/effects_panel_draw.h"
#include "ui/face_draw.h"
#include "ui/learn_overlay.h"
#include "ui/nvg_canvas.h"

namespace corva {

using namespace iplug::igraphics;

namespace {

std::uint64_t lowestBit(std::uint64_t mask) { return mask & (~mask + 1); }

std::uint64_t buttonsOf(const IMouseMod& mod) { return (mod.R ? 2u : 0u) | (mod.L ? 1u : 0u); }

}  // namespace

CorvaControl::CorvaControl(const IRECT& bounds, UiModel* model)
    : IControl(bounds, kNoParameter, nullptr), uiModel(model) {
  mDblAsSingleClick = true;
  SetWantsMultiTouch(true);
}

void CorvaControl::releaseButton(std::uint64_t id) {
  heldButtons &= ~id;
  uiModel->handlePointerUp(id);
}

void CorvaControl::OnMouseDown(float x, float y, const IMouseMod& mod) {
  lastX = x;
  lastY = y;
  std::uint64_t id = 0;
  if (mod.IsTouch()) {
    id = touchPointerId(mod.touchID);
  } else {
    // A press of a button already held presses nothing again.
    id = lowestBit(buttonsOf(mod) & ~heldButtons);
    if (!id) return;
    heldButtons |= id;
  }
  if (uiModel->handlePointerDown(id, x, y)) SetDirty(false);
}

void CorvaControl::OnMouseUp(float x, float y, const IMouseMod& mod) {
  lastX = x;
  lastY = y;
  if (mod.IsTouch()) {
    uiModel->handlePointerUp(touchPointerId(mod.touchID));
    SetDirty(false);
    return;
  }
  // The flags of a mouse-up name the buttons still down; one button is released, or
  // every held one when none is still down (the graphics object ending a capture).
  if (!buttonsOf(mod)) {
    for (std::uint64_t id : {1u, 2u})
      if (heldButtons & id) releaseButton(id);
  } else if (const std::uint64_t id = lowestBit(heldButtons & ~buttonsOf(mod))) {
    releaseButton(id);
  }
  releasePending = heldButtons != 0;
  SetDirty(false);
}

void CorvaControl::OnMouseDrag(float x, float y, float, float, const IMouseMod& mod) {
  lastX = x;
  lastY = y;
  bool changed = false;
  if (mod.IsTouch()) {
    changed = uiModel->handlePointerDrag(touchPointerId(mod.touchID), x, y);
  } else {
    for (std::uint64_t id : {1u, 2u}) {
      if (heldButtons & id) changed = uiModel->handlePointerDrag(id, x, y) || changed;
    }
  }
  if (changed) SetDirty(false);
}

void CorvaControl::OnMouseWheel(float x, float y, const IMouseMod& mod, float d) {
  const bool fine = mod.S || mod.C;
  if (uiModel->learnArmed) return;
  const float* news = uiModel->newsRects[kNewsPanelRect];
  if (news[2] > 0.f && news[3] > 0.f && x >= news[0] && x < news[0] + news[2] && y >= news[1] && y < news[1] + news[3])
    return;
  if (uiModel->face.nudgeControl(x, y, d, fine) || uiModel->effectsPanel.nudgeControl(x, y, d, fine)) SetDirty(false);
}

void CorvaControl::OnMouseOver(float x, float y, const IMouseMod&) {
  if (uiModel->effectsPanel.updateTapHover(x, y)) SetDirty(false);
}

void CorvaControl::OnMouseOut() {
  if (uiModel->effectsPanel.clearTapHover()) SetDirty(false);
}

namespace {

IRECT rectOf(const float r[4]) { return IRECT(r[0], r[1], r[0] + r[2], r[1] + r[3]); }

}  // namespace

void markChangedAnimations(UiModel& ui, IGraphics& g, double now) {
  EffectsPanelModel& panel = ui.effectsPanel;
  if (isBeatLit(panel, now) != panel.beatLitShown) g.SetRegionDirty(rectOf(panel.beatRect));
  if (panel.togglePosition(1, now) != panel.switchShown) {
    const float whole[4] = {panel.originX, panel.originY, kPanelDesignWidth * panel.pixelScale,
                            kPanelDesignHeight * panel.pixelScale};
    g.SetRegionDirty(rectOf(whole));
  }
  if (ui.learnArmed && ui.learnTarget >= 0 && isLearnBlinkOn(now) != ui.learnBlinkShown) g.SetAllControlsDirty();
}

void markParamDirty(const UiModel& ui, IGraphics& g, int paramIdx) {
  float r[4];
  if (paramIdx == kLedLevel) {
    faceLedRect(ui.face, r);
  } else if (float cx = 0, cy = 0; faceControlCentre(paramIdx, cx, cy)) {
    // Half the side of the square a control's drawing stays in, in face design units:
    // the knob images turn, so their corners reach out to half a diagonal.
    const float half = paramIdx <= kVolume ? 132.0f : paramIdx == kHold ? 60.0f : 45.0f;
    const FaceModel& f = ui.face;
    r[0] = f.originX + (cx - half) * f.pixelScale;
    r[1] = f.originY + (cy - half) * f.pixelScale;
    r[2] = r[3] = 2.0f * half * f.pixelScale;
  } else if (effectSlot(paramIdx) >= 0) {
    const EffectsPanelModel& p = ui.effectsPanel;
    r[0] = p.originX;
    r[1] = p.originY;
    r[2] = kPanelDesignWidth * p.pixelScale;
    r[3] = kPanelDesignHeight * p.pixelScale;
  } else {
    g.SetAllControlsDirty();
    return;
  }
  g.SetRegionDirty(rectOf(r));
}

void CorvaControl::Draw(IGraphics& g) {
  if (releasePending) {
    releasePending = false;
    bool left = false, right = false;
    // A state that cannot be read counts as both buttons up, which finishes the presses.
    (void)g.GetMouseButtonState(left, right);
    if (!left && !right) {
      // The release of these buttons never arrived: finish their presses.
      for (std::uint64_t id : {1u, 2u})
        if (heldButtons & id) releaseButton(id);
    } else if (const std::uint64_t b = lowestBit(heldButtons)) {
      // A button is still down but the graphics object let go of this control on the
      // other button's release: capture again so the drag keeps arriving. The press
      // finds the button held and presses nothing.
      (void)g.CapturePointer();  // false only with no window, when no drag can arrive
      IMouseInfo info;
      info.x = lastX;
      info.y = lastY;
      info.ms = IMouseMod(b == 1, b == 2);
      g.OnMouseDown({info});
    }
  }
  const IGraphics::EDrawLayer layer = g.GetDrawLayer();
  if (layer != IGraphics::EDrawLayer::kChanging) g.FillRect(IColor(255, 201, 189, 176), mRECT);
  auto* vg = static_cast<NVGcontext*>(g.GetDrawContext());
  if (!vg) return;
  NvgCanvas canvas(vg, 0);
  drawUi(*uiModel, canvas, mRECT.W(), mRECT.H(), false,
         layer == IGraphics::EDrawLayer::kStill      ? UiLayer::kStill
         : layer == IGraphics::EDrawLayer::kChanging ? UiLayer::kChanging
                                                     : UiLayer::kAll);
}

}  // namespace corva
