#include "framework/icontrol.h"

#include <cstring>

#include "framework/igraphics.h"

namespace iplug::igraphics {

IKeyPress::IKeyPress(const char* text, int vk, bool s, bool c, bool a) : VK(vk), S(s), C(c), A(a) {
  if (text) std::strncpy(utf8, text, 4);
  utf8[4] = '\0';
}

void EncodeUtf8(std::uint32_t cp, char out[5]) {
  int n = 0;
  if (cp < 0x80) {
    out[n++] = static_cast<char>(cp);
  } else if (cp < 0x800) {
    out[n++] = static_cast<char>(0xC0 | (cp >> 6));
    out[n++] = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out[n++] = static_cast<char>(0xE0 | (cp >> 12));
    out[n++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[n++] = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x110000) {
    out[n++] = static_cast<char>(0xF0 | (cp >> 18));
    out[n++] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[n++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[n++] = static_cast<char>(0x80 | (cp & 0x3F));
  }
  out[n] = '\0';
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

void IPanelControl::Draw(IGraphics& g) {
  // A plain colour never changes: it belongs to the still part of the picture.
  if (g.GetDrawLayer() != IGraphics::EDrawLayer::kChanging) g.FillRect(mColor, mRECT);
}

}  // namespace iplug::igraphics
