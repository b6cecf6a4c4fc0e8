#pragma once
// The editor's one control: it covers the whole window, turns mouse and touch events
// into pointer events for the interface model, and draws the interface through the
// NanoVG canvas. The mouse buttons reach the model as pointer ids 1 (left) and 2
// (right); touches as their touch id moved past those two, so that a touch never
// shares its pointer with a mouse button.

#include <cstdint>

#include "framework/icontrol.h"
#include "ui/ui_model.h"

namespace corva {

class CorvaControl : public iplug::igraphics::IControl {
 public:
  CorvaControl(const iplug::igraphics::IRECT& bounds, UiModel* model);

  void OnMouseDown(float x, float y, const iplug::igraphics::IMouseMod& mod) override;
  void OnMouseUp(float x, float y, const iplug::igraphics::IMouseMod& mod) override;
  void OnMouseDrag(float x, float y, float dX, float dY, const iplug::igraphics::IMouseMod& mod) override;
  void OnMouseWheel(float x, float y, const iplug::igraphics::IMouseMod& mod, float d) override;
  void OnMouseOver(float x, float y, const iplug::igraphics::IMouseMod& mod) override;
  void OnMouseOut() override;
  void Draw(iplug::igraphics::IGraphics& g) override;

  // The model pointer id of a touch.
  static std::uint64_t touchPointerId(std::uintptr_t touchID) { return std::uint64_t(touchID) + 2u; }

  UiModel* uiModel;
  std::uint64_t heldButtons = 0;  // 1 left, 2 right: the buttons this control treats as pressed
  float lastX = 0.f;
  float lastY = 0.f;
  bool releasePending = false;  // a mouse-up left a button held; the next draw checks

 private:
  void releaseButton(std::uint64_t id);
};

// Marks for drawing what moved without a parameter changing, compared with what the
// last drawing showed: the beat light when it goes on or off, the effects panel while
// the echo switch glides, the whole window when the learn target blinks.
void markChangedAnimations(UiModel& ui, iplug::igraphics::IGraphics& g, double now);

// Marks for drawing the part of the window that shows parameter `paramIdx` (its value
// changed): the control's own area, or the whole window for one drawn nowhere in
// particular.
void markParamDirty(const UiModel& ui, iplug::igraphics::IGraphics& g, int paramIdx);

}  // namespace corva
