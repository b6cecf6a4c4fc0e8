#include "framework/ieditor_delegate.h"

#include <algorithm>

#include "framework/igraphics.h"

namespace iplug {

IEditorDelegate::IEditorDelegate(int nParams) {
  mParams.reserve(static_cast<std::size_t>(std::max(nParams, 0)));
  for (int i = 0; i < nParams; ++i) mParams.push_back(std::make_unique<IParam>());
}

namespace {

void DeleteGraphics(igraphics::IGraphics* g) { delete g; }

}  // namespace

IEditorDelegate::~IEditorDelegate() { DeleteGraphics(mGraphics); }

void* IEditorDelegate::OpenWindow(void* parent) {
  if (mGraphics || mClosing || !mMakeGraphicsFunc) return mGraphics ? mGraphics->GetWindow() : nullptr;
  mGraphics = mMakeGraphicsFunc();
  if (!mGraphics) return nullptr;
  // Reopen at the size last chosen for this editor.
  if (mEditorWidth > 0 && mEditorHeight > 0 &&
      (mEditorWidth != mGraphics->Width() || mEditorHeight != mGraphics->Height()))
    mGraphics->Resize(mEditorWidth, mEditorHeight, mGraphics->GetDrawScale(), false);
  void* window = mGraphics->OpenWindow(parent);
  if (!window) {
    DeleteGraphics(mGraphics);
    mGraphics = nullptr;
    return nullptr;
  }
  LayoutUI(mGraphics);
  OnUIOpen();
  return window;
}

void IEditorDelegate::CloseWindow() {
  if (!mGraphics || mClosing) return;
  mClosing = true;
  // A button held while the editor closes is let go as if released.
  mGraphics->ReleaseHeldPointers();
  OnUIClose();
  mGraphics->CloseWindow();
  DeleteGraphics(mGraphics);
  mGraphics = nullptr;
  mClosing = false;
}

void IEditorDelegate::LayoutUI(igraphics::IGraphics* g) {
  if (g && mLayoutFunc) mLayoutFunc(g);
}

void IEditorDelegate::OnParentWindowResize(int w, int h) {
  int ew = w, eh = h;
  ConstrainEditorResize(ew, eh);
  if (!mGraphics) {
    SetEditorSize(ew, eh);
    return;
  }
  mGraphics->Resize(ew, eh, 1.f, false);
  mGraphics->SetWindowArea(w, h);
}

IParam* IEditorDelegate::GetParam(int idx) {
  return idx >= 0 && idx < NParams() ? mParams[static_cast<std::size_t>(idx)].get() : nullptr;
}

const IParam* IEditorDelegate::GetParam(int idx) const {
  return idx >= 0 && idx < NParams() ? mParams[static_cast<std::size_t>(idx)].get() : nullptr;
}

void IEditorDelegate::SendParameterValueFromDelegate(int paramIdx, double /*value*/, bool /*normalized*/) {
  if (!GetParam(paramIdx)) return;
  OnParamChangeUI(paramIdx, kDelegate);
}

void IEditorDelegate::SendCurrentParamValuesFromDelegate() {
  for (int i = 0; i < NParams(); ++i) SendParameterValueFromDelegate(i, GetParam(i)->GetNormalized(), true);
}

}  // namespace iplug
