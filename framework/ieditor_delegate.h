#pragma once
// The editor side of a plug-in: it owns the parameters, keeps the editor's size and
// size limits, and carries parameter values to the interface. The graphics layer builds
// on this class to open and close the editor window.

#include <memory>
#include <vector>

#include "framework/iparam.h"
#include "framework/iplug_constants.h"

namespace iplug {

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

 private:
  std::vector<std::unique_ptr<IParam>> mParams;
  int mEditorWidth = 0;
  int mEditorHeight = 0;
  int mMinWidth = 0;
  int mMaxWidth = 0;
  int mMinHeight = 0;
  int mMaxHeight = 0;
};

}  // namespace iplug
