#include "framework/icontrol.h"

#include <cstring>

#include "framework/igraphics.h"

namespace iplug::igraphics {

IKeyPress::IKeyPress(const char* text, int vk, bool s, bool c, bool a) : VK(vk), S(s), C(c), A(a) {
  if (text) std::strncpy(utf8, text, 4);
  utf8[4] = '\0';
}

IControl::IControl(const IRECT& bounds, int paramIdx, IActionFunction action)
    : mRECT(bounds), mTargetRECT(bounds), mParamIdx(paramIdx), mActionFunc(std::move(action)) {}

void IControl::OnMouseDblClick(float x, float y, const IMouseMod& mod) {
  if (mDblAsSingleClick) OnMouseDown(x, y, mod);
}

void IControl::SetDirty(bool triggerAction, int /*valIdx*/) {
  mDirty = true;
  if (triggerAction && mActionFunc) mActionFunc(this);
}

void IControl::SetTargetAndDrawRECTs(const IRECT& r) {
  mRECT = r;
  mTargetRECT = r;
  mMouseIsOver = false;
  OnResize();
}

void IPanelControl::Draw(IGraphics& g) { g.FillRect(mColor, mRECT); }

}  // namespace iplug::igraphics
