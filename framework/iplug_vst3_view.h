#pragma once
// The VST3 module's editor view: the host's X11 window embeds the editor.
//
// Threads: every view call runs under the plug-in's interface mutex. While the view is
// attached and the host offers a run loop, the editor's window events, its redraws (60
// per second when something is dirty) and the plug-in's idle ticks run from that loop on
// the host's interface thread; without one, a framework thread of the view pumps the
// window and the idle timer keeps its own thread. A size the editor asks for reaches the
// host's frame only after the call that caused it has released the mutex.
//
// Sizes: the host speaks in its pixels, the editor in editor units; the view converts
// at its edge with the host's content scale, in both directions, and nowhere else.

#include <atomic>
#include <memory>

#include "framework/idle_timer.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "public.sdk/source/common/pluginview.h"

namespace iplug {

class IPlugVST3;

class IPlugVST3View : public Steinberg::CPluginView, public Steinberg::IPlugViewContentScaleSupport {
 public:
  explicit IPlugVST3View(IPlugVST3& plug);
  ~IPlugVST3View() override;

  Steinberg::tresult PLUGIN_API isPlatformTypeSupported(Steinberg::FIDString type) override;
  Steinberg::tresult PLUGIN_API attached(void* parent, Steinberg::FIDString type) override;
  Steinberg::tresult PLUGIN_API removed() override;
  Steinberg::tresult PLUGIN_API onSize(Steinberg::ViewRect* newSize) override;
  Steinberg::tresult PLUGIN_API getSize(Steinberg::ViewRect* size) override;
  Steinberg::tresult PLUGIN_API canResize() override;
  Steinberg::tresult PLUGIN_API checkSizeConstraint(Steinberg::ViewRect* rect) override;
  Steinberg::tresult PLUGIN_API onKeyDown(Steinberg::char16 key, Steinberg::int16 keyCode,
                                          Steinberg::int16 modifiers) override;
  Steinberg::tresult PLUGIN_API onKeyUp(Steinberg::char16 key, Steinberg::int16 keyCode,
                                        Steinberg::int16 modifiers) override;
  Steinberg::tresult PLUGIN_API setFrame(Steinberg::IPlugFrame* frame) override;
  // The host's pixels per editor unit (a high-resolution screen gives more than 1).
  Steinberg::tresult PLUGIN_API setContentScaleFactor(ScaleFactor factor) override;

  OBJ_METHODS(IPlugVST3View, CPluginView)
  DEFINE_INTERFACES
  DEF_INTERFACE(Steinberg::IPlugViewContentScaleSupport)
  END_DEFINE_INTERFACES(CPluginView)
  REFCOUNT_METHODS(CPluginView)

  // The editor changed its size to w x h units: the host's frame is asked to follow.
  void RequestResize(int w, int h);

 private:
  class LoopHandler;
  Steinberg::tresult KeyEvent(Steinberg::char16 key, Steinberg::int16 keyCode, Steinberg::int16 modifiers, bool up);
  // The editor's size in the host's pixels, at the view's top-left corner.
  Steinberg::ViewRect EditorRect() const;
  // Hands a size the editor asked for to the host's frame; called with the mutex free.
  void FlushResize();
  void StartDriving();
  void StopDriving();

  IPlugVST3& mPlug;
  Steinberg::Linux::IRunLoop* mRunLoop = nullptr;
  LoopHandler* mEventHandler = nullptr;
  LoopHandler* mDisplayTimer = nullptr;
  LoopHandler* mIdleHandler = nullptr;
  std::unique_ptr<Timer> mFallbackTimer;
  bool mResizePending = false;
  int mPendingWidth = 0;
  int mPendingHeight = 0;
  float mScale = 1.f;  // the host's pixels per editor unit; every size the host sees goes through it
};

}  // namespace iplug
