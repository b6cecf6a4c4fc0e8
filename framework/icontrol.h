#pragma once
// A control of the editor: a rectangle that draws itself and receives pointer events.
// Controls belong to the graphics object they are attached to.

#include "framework/igraphics_structs.h"

namespace iplug::igraphics {

class IGraphics;

class IControl {
 public:
  explicit IControl(const IRECT& bounds, int paramIdx = kNoParameter, IActionFunction action = nullptr);
  virtual ~IControl() = default;
  IControl(const IControl&) = delete;
  IControl& operator=(const IControl&) = delete;

  virtual void OnMouseDown(float /*x*/, float /*y*/, const IMouseMod& /*mod*/) {}
  virtual void OnMouseUp(float /*x*/, float /*y*/, const IMouseMod& /*mod*/) {}
  virtual void OnMouseDrag(float /*x*/, float /*y*/, float /*dX*/, float /*dY*/, const IMouseMod& /*mod*/) {}
  virtual void OnMouseDblClick(float x, float y, const IMouseMod& mod);
  virtual void OnMouseWheel(float /*x*/, float /*y*/, const IMouseMod& /*mod*/, float /*d*/) {}
  virtual void OnMouseOver(float /*x*/, float /*y*/, const IMouseMod& /*mod*/) { mMouseIsOver = true; }
  virtual void OnMouseOut() { mMouseIsOver = false; }
  virtual bool OnKeyDown(float /*x*/, float /*y*/, const IKeyPress& /*key*/) { return false; }
  virtual bool OnKeyUp(float /*x*/, float /*y*/, const IKeyPress& /*key*/) { return false; }
  virtual void OnResize() {}
  virtual void OnAttached() {}
  virtual void Draw(IGraphics& g) = 0;

  // Schedules a redraw; with triggerAction the action function runs too.
  virtual void SetDirty(bool triggerAction = true, int valIdx = kNoValIdx);
  void SetClean() { mDirty = false; }
  bool IsDirty() const { return mDirty; }

  const IRECT& GetRECT() const { return mRECT; }
  // Sets both rectangles, forgets the mouse-over state and lets the control re-lay out.
  void SetTargetAndDrawRECTs(const IRECT& r);
  bool IsHit(float x, float y) const { return mTargetRECT.Contains(x, y); }

  int GetParamIdx() const { return mParamIdx; }
  int NVals() const { return 1; }
  bool GetIgnoreMouse() const { return mIgnoreMouse; }
  bool GetWantsMultiTouch() const { return mWantsMultiTouch; }
  void SetWantsMultiTouch(bool wants) { mWantsMultiTouch = wants; }

 protected:
  IRECT mRECT;
  IRECT mTargetRECT;
  int mParamIdx;
  IActionFunction mActionFunc;
  bool mMouseIsOver = false;
  bool mDblAsSingleClick = false;
  bool mIgnoreMouse = false;
  bool mWantsMultiTouch = false;

 private:
  friend class IGraphics;
  int mTag = kNoTag;
  const char* mGroup = "";
  bool mDirty = true;
};

// Fills its bounds with one colour and takes no pointer events: the panel background.
class IPanelControl : public IControl {
 public:
  IPanelControl(const IRECT& bounds, const IColor& color) : IControl(bounds), mColor(color) { mIgnoreMouse = true; }
  void Draw(IGraphics& g) override;

 private:
  IColor mColor;
};

}  // namespace iplug::igraphics
