#include "framework/igraphics.h"

#include <nanovg.h>

#include <algorithm>
#include <cmath>

#include "framework/ieditor_delegate.h"
#include "framework/open_url.h"

namespace iplug::igraphics {

IGraphics::IGraphics(IEditorDelegate& dlg, int w, int h, int /*fps*/, float scale)
    : mDelegate(dlg), mWidth(w), mHeight(h), mDrawScale(scale), mAreaWidth(w), mAreaHeight(h) {}

IGraphics::~IGraphics() = default;

void IGraphics::OnDisplayTick() {
  // What needs drawing is forgotten once it is drawn, not when it is asked for.
  if (IsDirty()) RequestRedraw();
}

bool IGraphics::OpenURL(const char* url, const char*, const char*, const char*) { return OpenUrlInBrowser(url); }

void IGraphics::SetScreenScale(float scale) {
  if (!(scale > 0.f) || scale == mScreenScale) return;
  mScreenScale = scale;
  PlatformResize();
  SetAllControlsDirty();
  PresentNow();
}

void IGraphics::Resize(int w, int h, float scale, bool needsPlatformResize) {
  mDelegate.ConstrainEditorResize(w, h);
  if (w == mWidth && h == mHeight && scale == mDrawScale) return;
  // A resize ends any drag in progress: what the pointer held is let go.
  ReleasePointer();
  ReleaseHeldPointers();
  mWidth = w;
  mHeight = h;
  mAreaWidth = w;
  mAreaHeight = h;
  mDrawScale = scale;
  mDelegate.EditorResizeFromUI(w, h, needsPlatformResize);
  // The editor's own window always takes the new size; needsPlatformResize says whether
  // the parent must be asked to follow (it has not resized itself).
  PlatformResize();
  for (auto& c : mControls) c->OnResize();
  SetAllControlsDirty();
  if (mLayoutOnResize) mDelegate.LayoutUI(this);
  PresentNow();
}

void IGraphics::SetWindowArea(int w, int h) {
  w = std::max(w, mWidth);
  h = std::max(h, mHeight);
  if (w == mAreaWidth && h == mAreaHeight) return;
  mAreaWidth = w;
  mAreaHeight = h;
  PlatformResize();
  SetAllControlsDirty();
  PresentNow();
}

// Pixels round up and units down: a size in units shown in pixels and read back is the
// same size again.
int IGraphics::UnitsToPixels(int units, double scale) { return static_cast<int>(std::ceil(units * scale - 1e-6)); }

int IGraphics::PixelsToUnits(int pixels, double scale) {
  return static_cast<int>(std::floor(pixels / std::max(scale, 0.01) + 1e-6));
}

void IGraphics::GetWindowPixels(int& w, int& h) const {
  w = ToPixels(mAreaWidth);
  h = ToPixels(mAreaHeight);
}

void IGraphics::GetEditorOrigin(int& x, int& y) const {
  int w = 0, h = 0;
  GetWindowPixels(w, h);
  x = std::max(0, (w - ToPixels(mWidth)) / 2);
  y = std::max(0, (h - ToPixels(mHeight)) / 2);
}

IControl* IGraphics::AttachPanelBackground(const IColor& color) {
  auto panel = std::make_unique<IPanelControl>(IRECT(0.f, 0.f, float(mWidth), float(mHeight)), color);
  IControl* c = panel.get();
  mControls.insert(mControls.begin(), std::move(panel));
  c->OnAttached();
  return c;
}

IControl* IGraphics::AttachControl(IControl* control, int tag, const char* group) {
  if (!control) return nullptr;
  control->mTag = tag;
  control->mGroup = group ? group : "";
  mControls.emplace_back(control);
  control->OnAttached();
  return control;
}

IControl* IGraphics::GetControl(int idx) const {
  return idx >= 0 && idx < NControls() ? mControls[static_cast<std::size_t>(idx)].get() : nullptr;
}

void IGraphics::SetAllControlsDirty() {
  for (auto& c : mControls) c->SetDirty(false);
}

void IGraphics::SetAllControlsClean() {
  for (auto& c : mControls) c->SetClean();
}

bool IGraphics::AnyControlDirty() const {
  return std::any_of(mControls.begin(), mControls.end(), [](const auto& c) { return c->IsDirty(); });
}

bool IGraphics::IsDirty() const { return AnyControlDirty() || !mDirtyRegion.Empty(); }

void IGraphics::SetRegionDirty(const IRECT& r) {
  if (r.Empty()) return;
  if (mDirtyRegion.Empty()) {
    mDirtyRegion = r;
    return;
  }
  mDirtyRegion = IRECT(std::min(mDirtyRegion.L, r.L), std::min(mDirtyRegion.T, r.T), std::max(mDirtyRegion.R, r.R),
                       std::max(mDirtyRegion.B, r.B));
}

void IGraphics::SetAllClean() {
  SetAllControlsClean();
  mDirtyRegion = IRECT();
}

void IGraphics::FillRect(const IColor& color, const IRECT& r, const IBlend* blend) {
  auto* vg = static_cast<NVGcontext*>(GetDrawContext());
  if (!vg) return;
  const float weight = blend ? std::clamp(blend->mWeight, 0.f, 1.f) : 1.f;
  nvgBeginPath(vg);
  nvgRect(vg, r.L, r.T, r.W(), r.H());
  nvgFillColor(vg, nvgRGBA(static_cast<unsigned char>(color.R), static_cast<unsigned char>(color.G),
                           static_cast<unsigned char>(color.B),
                           static_cast<unsigned char>(std::clamp(color.A, 0, 255) * weight)));
  nvgFill(vg);
}

void IGraphics::DrawControls(EDrawLayer layer) {
  mDrawLayer = layer;
  auto* vg = static_cast<NVGcontext*>(GetDrawContext());
  // A control may change the list while drawing (a synthetic press); index, not iterate.
  for (int i = 0; i < NControls(); ++i) {
    IControl* c = GetControl(i);
    const IRECT r = c->GetRECT();
    if (vg) {
      nvgSave(vg);
      nvgScissor(vg, r.L, r.T, r.W(), r.H());
    }
    c->Draw(*this);
    if (vg) nvgRestore(vg);
  }
  mDrawLayer = EDrawLayer::kAll;
}

IControl* IGraphics::GetCapturedControl(std::uintptr_t touchID) const {
  const auto it = mCapturedMap.find(touchID);
  return it == mCapturedMap.end() ? nullptr : it->second;
}

IControl* IGraphics::TopmostHit(float x, float y, int lowest) const {
  for (int i = NControls() - 1; i >= lowest; --i) {
    IControl* c = GetControl(i);
    if (!c->GetIgnoreMouse() && c->IsHit(x, y)) return c;
  }
  return nullptr;
}

IControl* IGraphics::GetMouseControl(float x, float y, bool capture, std::uintptr_t touchID) {
  if (IControl* captured = GetCapturedControl(touchID)) return captured;
  IControl* hit = TopmostHit(x, y, 0);
  if (!hit || !capture) return hit;
  // A second pointer may share a control only when the control takes several.
  for (const auto& [id, c] : mCapturedMap) {
    if (c == hit && !hit->GetWantsMultiTouch()) return nullptr;
  }
  mCapturedMap[touchID] = hit;
  return hit;
}

void IGraphics::ReleaseHeldPointers() {
  // A control's release may capture again or change the list: work on a copy.
  const auto held = mCapturedMap;
  mCapturedMap.clear();
  for (const auto& [touchID, c] : held) {
    IMouseMod none;
    none.touchID = touchID;
    c->OnMouseUp(mLastX, mLastY, none);
  }
}

void IGraphics::OnMouseDown(const std::vector<IMouseInfo>& points) {
  for (const IMouseInfo& p : points) {
    mLastX = p.x;
    mLastY = p.y;
    if (IControl* c = GetMouseControl(p.x, p.y, true, p.ms.touchID)) c->OnMouseDown(p.x, p.y, p.ms);
  }
}

void IGraphics::OnMouseUp(const std::vector<IMouseInfo>& points) {
  for (const IMouseInfo& p : points) {
    mLastX = p.x;
    mLastY = p.y;
    if (IControl* c = GetCapturedControl(p.ms.touchID)) c->OnMouseUp(p.x, p.y, p.ms);
    // Released on any button-up, even while another button is still down.
    mCapturedMap.erase(p.ms.touchID);
    if (mHandleMouseOver && !p.ms.L && !p.ms.R && !p.ms.IsTouch()) OnMouseOver(p.x, p.y, p.ms);
  }
}

void IGraphics::OnMouseDrag(const std::vector<IMouseInfo>& points) {
  for (const IMouseInfo& p : points) {
    mLastX = p.x;
    mLastY = p.y;
    IControl* c = GetCapturedControl(p.ms.touchID);
    if (c && (p.dX != 0.f || p.dY != 0.f)) c->OnMouseDrag(p.x, p.y, p.dX, p.dY, p.ms);
  }
}

void IGraphics::OnMouseWheel(float x, float y, const IMouseMod& mod, float d) {
  if (IControl* c = GetMouseControl(x, y, false)) c->OnMouseWheel(x, y, mod, d);
}

bool IGraphics::OnMouseOver(float x, float y, const IMouseMod& mod) {
  if (!mHandleMouseOver) return false;
  // The panel background (index 0) never takes mouse-over.
  IControl* over = TopmostHit(x, y, 1);
  if (mMouseOver && mMouseOver != over) mMouseOver->OnMouseOut();
  mMouseOver = over;
  if (over) over->OnMouseOver(x, y, mod);
  return over != nullptr;
}

void IGraphics::OnMouseOut() {
  for (auto& c : mControls) c->OnMouseOut();
  mMouseOver = nullptr;
}

bool IGraphics::OnKeyDown(float x, float y, const IKeyPress& key) {
  if (mKeyHandlerFunc && mKeyHandlerFunc(key, false)) return true;
  IControl* c = GetMouseControl(x, y, false);
  return c && c->OnKeyDown(x, y, key);
}

bool IGraphics::OnKeyUp(float x, float y, const IKeyPress& key) {
  if (mKeyHandlerFunc && mKeyHandlerFunc(key, true)) return true;
  IControl* c = GetMouseControl(x, y, false);
  return c && c->OnKeyUp(x, y, key);
}

}  // namespace iplug::igraphics
