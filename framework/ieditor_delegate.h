#pragma once
// The editor side of a plug-in: it owns the parameters, keeps the editor's size and
// size limits, carries parameter values to the interface, and opens and closes the
// editor: the graphics factory makes the graphics object, the layout function fills
// it with controls, and the object lives until the editor is closed.

#include <functional>
#include <memory>
#include <vector>

#include "framework/iparam.h"
#include "framework/iplug_constants.h"

namespace iplug {

namespace igraphics {
class IGraphics;
}

class IEditorDelegate {
 public:
  explicit IEditorDelegate(int nParams);
  virtual ~IEditorDelegate();
  IEditorDelegate(const IEditorDelegate&) = delete;
  IEditorDelegate& operator=(const IEditorDelegate&) = delete;

  // Parameter `idx`, or null when there is no such parameter.
  IParam* GetParam(int idx);
  const IParam* GetParam(int idx) const;
  int NParams() const { return static_cast<int>(mParams.size()); }

  // A parameter's value reached the interface.
  virtual void OnParamChangeUI(int /*paramIdx*/, EParamSource /*source*/ = kUnknown) {}
  virtual void OnUIOpen() {}
  virtual void OnUIClose() {}
  // Adjusts a requested editor size; true when the request may go ahead.
  virtual bool ConstrainEditorResize(int& /*w*/, int& /*h*/) const { return true; }
  virtual bool OnHostRequestingAboutBox() { return false; }
  virtual bool OnHostRequestingProductHelp() { return false; }
  // After saved state was restored: every parameter's value goes to the interface.
  virtual void OnRestoreState() { SendCurrentParamValuesFromDelegate(); }

  // Hands parameter `paramIdx` to the interface without changing the value or telling
  // the host. `value` is in the parameter's own units unless `normalized` is set.
  virtual void SendParameterValueFromDelegate(int paramIdx, double value, bool normalized);
  void SendCurrentParamValuesFromDelegate();

  // The open editor's graphics object; null exactly while the editor is closed.
  igraphics::IGraphics* GetUI() const { return mGraphics; }
  // Opens the editor in `parent` (an X11 window id): the graphics factory, the window,
  // the layout, then OnUIOpen. An editor opens at the size last chosen for it. Returns
  // the editor window, or null when it could not be opened (nothing is left open).
  [[nodiscard]] void* OpenWindow(void* parent);
  // Closes the editor: OnUIClose first, then the window and the graphics object with
  // every control and drawing resource. Does nothing while closed or already closing.
  void CloseWindow();
  // Runs the layout function on `g`.
  void LayoutUI(igraphics::IGraphics* g);
  // The parent window was resized to w x h editor units (a wrapper converts its host's
  // pixels): the editor takes the size its rule allows and its window the parent's.
  virtual void OnParentWindowResize(int w, int h);
  // The editor changed its own size to w x h units: the wrapper tells its host.
  virtual void EditorResizeFromUI(int w, int h, bool /*needsPlatformResize*/) { SetEditorSize(w, h); }

  // The editor's size, in editor units: the size the interface is drawn at.
  void SetEditorSize(int w, int h) {
    mEditorWidth = w;
    mEditorHeight = h;
  }
  void SetSizeConstraints(int minW, int maxW, int minH, int maxH) {
    mMinWidth = minW;
    mMaxWidth = maxW;
    mMinHeight = minH;
    mMaxHeight = maxH;
  }
  int GetEditorWidth() const { return mEditorWidth; }
  int GetEditorHeight() const { return mEditorHeight; }
  int GetMinWidth() const { return mMinWidth; }
  int GetMaxWidth() const { return mMaxWidth; }
  int GetMinHeight() const { return mMinHeight; }
  int GetMaxHeight() const { return mMaxHeight; }
  bool GetHostResizeEnabled() const { return mHostResize; }

 protected:
  bool mHostResize = false;
  std::function<igraphics::IGraphics*()> mMakeGraphicsFunc;
  std::function<void(igraphics::IGraphics*)> mLayoutFunc;

 private:
  igraphics::IGraphics* mGraphics = nullptr;  // owned; made by mMakeGraphicsFunc
  bool mClosing = false;
  std::vector<std::unique_ptr<IParam>> mParams;
  int mEditorWidth = 0;
  int mEditorHeight = 0;
  int mMinWidth = 0;
  int mMaxWidth = 0;
  int mMinHeight = 0;
  int mMaxHeight = 0;
};

}  // namespace iplug
