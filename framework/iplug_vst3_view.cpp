#include "framework/iplug_vst3_view.h"

#include <cstring>
#include <functional>
#include <mutex>

#include "framework/igraphics.h"
#include "framework/iplug_vst3.h"

namespace iplug {

using namespace Steinberg;
using igraphics::IGraphics;
using igraphics::IKeyPress;

namespace {

using Lock = std::unique_lock<std::recursive_mutex>;

constexpr Linux::TimerInterval kDisplayIntervalMs = 16;  // about 60 frames per second

// The host's virtual-key codes, and its modifier bits, that the editor looks at.
constexpr int16 kHostKeyBack = 1, kHostKeyTab = 2, kHostKeyReturn = 4, kHostKeyEscape = 6, kHostKeySpace = 7;
// The editor's key for each host key code it looks at.
constexpr struct {
  int16 host;
  int vk;
} kHostKeys[] = {{kHostKeyBack, igraphics::kVK_BACK},
                 {kHostKeyTab, igraphics::kVK_TAB},
                 {kHostKeyReturn, igraphics::kVK_RETURN},
                 {kHostKeyEscape, igraphics::kVK_ESCAPE},
                 {kHostKeySpace, igraphics::kVK_SPACE}};
constexpr int16 kHostShift = 1 << 0, kHostAlt = 1 << 1, kHostCommand = 1 << 2, kHostControl = 1 << 3;

IKeyPress KeyFromHost(char16 key, int16 keyCode, int16 modifiers) {
  IKeyPress k;
  k.S = modifiers & kHostShift;
  k.A = modifiers & kHostAlt;
  k.C = modifiers & (kHostCommand | kHostControl);
  for (const auto& [host, vk] : kHostKeys)
    if (keyCode == host) k.VK = vk;
  const char32_t c = key;
  if (k.VK == 0 && c >= 'a' && c <= 'z') k.VK = static_cast<int>(c - 'a' + 'A');
  if (k.VK == 0 && ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' || c == 27))
    k.VK = static_cast<int>(c);
  // The key's text, as UTF-8 (a UTF-16 unit outside the surrogates).
  if (c >= 0x20 && c != 0x7F && !(c >= 0xD800 && c <= 0xDFFF)) {
    igraphics::EncodeUtf8(c, k.utf8);
  } else if (k.VK == igraphics::kVK_ESCAPE) {
    k.utf8[0] = 27;
  }
  return k;
}

}  // namespace

// A run-loop callback (descriptor or timer) that calls a function of the view. The host
// may keep references to it; the view detaches it before going away.
class IPlugVST3View::LoopHandler : public Linux::IEventHandler, public Linux::ITimerHandler {
 public:
  explicit LoopHandler(std::function<void()> fn) : mFn(std::move(fn)) {}
  virtual ~LoopHandler() = default;
  void Detach() { mFn = nullptr; }

  void PLUGIN_API onFDIsSet(Linux::FileDescriptor) override { Call(); }
  void PLUGIN_API onTimer() override { Call(); }

  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    if (FUnknownPrivate::iidEqual(iid, Linux::IEventHandler::iid)) {
      addRef();
      *obj = static_cast<Linux::IEventHandler*>(this);
      return kResultOk;
    }
    if (FUnknownPrivate::iidEqual(iid, Linux::ITimerHandler::iid)) {
      addRef();
      *obj = static_cast<Linux::ITimerHandler*>(this);
      return kResultOk;
    }
    if (FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
      addRef();
      *obj = static_cast<Linux::IEventHandler*>(this);
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return ++mRefs; }
  uint32 PLUGIN_API release() override {
    const uint32 left = --mRefs;
    if (left == 0) delete this;
    return left;
  }

 private:
  void Call() {
    if (mFn) mFn();
  }
  std::function<void()> mFn;
  std::atomic<uint32> mRefs{1};
};

IPlugVST3View::IPlugVST3View(IPlugVST3& plug) : mPlug(plug) { mPlug.addRef(); }

IPlugVST3View::~IPlugVST3View() {
  if (systemWindow) removed();
  {
    Lock lock(mPlug.InterfaceMutex());
    if (mPlug.mView == this) mPlug.mView = nullptr;
  }
  mPlug.release();
}

tresult PLUGIN_API IPlugVST3View::isPlatformTypeSupported(FIDString type) {
  return type && std::strcmp(type, kPlatformTypeX11EmbedWindowID) == 0 ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API IPlugVST3View::attached(void* parent, FIDString type) {
  {
    Lock lock(mPlug.InterfaceMutex());
    if (!parent || isPlatformTypeSupported(type) != kResultTrue || systemWindow) return kResultFalse;
    if (!mPlug.OpenWindow(parent)) return kResultFalse;
    if (mScale != 1.f) mPlug.GetUI()->SetScreenScale(mScale);
    CPluginView::attached(parent, type);
    rect = EditorRect();
  }
  // Registering with the host's run loop is a call into the host: made with the mutex
  // free. The window's events are handled from the first run-loop callback on.
  StartDriving();
  FlushResize();
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3View::removed() {
  // The fallback thread takes the mutex for its ticks: stop it before taking it here.
  if (mFallbackTimer) {
    mFallbackTimer->Stop();
    mFallbackTimer.reset();
  }
  if (!systemWindow) return kResultFalse;
  StopDriving();
  {
    Lock lock(mPlug.InterfaceMutex());
    mPlug.CloseWindow();
    CPluginView::removed();
    mResizePending = false;
  }
  return kResultOk;
}

void IPlugVST3View::StartDriving() {
  int windowFd = -1;
  {
    Lock lock(mPlug.InterfaceMutex());
    IGraphics* g = mPlug.GetUI();
    if (!g) return;
    windowFd = g->GetEventFd();
  }
  if (plugFrame && plugFrame->queryInterface(Linux::IRunLoop::iid, reinterpret_cast<void**>(&mRunLoop)) != kResultOk)
    mRunLoop = nullptr;
  if (mRunLoop) {
    // What the editor's gestures tell the host is delivered on the host's thread too.
    mPlug.HostNotifier().AttachRunLoop(mRunLoop);
    auto pump = [this](bool display) {
      {
        Lock lock(mPlug.InterfaceMutex());
        if (IGraphics* ui = mPlug.GetUI()) {
          if (display) ui->OnDisplayTick();
          else ui->ProcessEvents();
        }
      }
      FlushResize();
    };
    mEventHandler = new LoopHandler([pump] { pump(false); });
    mDisplayTimer = new LoopHandler([pump] { pump(true); });
    if (windowFd >= 0) mRunLoop->registerEventHandler(mEventHandler, windowFd);
    mRunLoop->registerTimer(mDisplayTimer, kDisplayIntervalMs);
    const int idleFd = mPlug.RouteIdleToHostLoop();
    if (idleFd >= 0) {
      mIdleHandler = new LoopHandler([this] {
        mPlug.OnHostIdleEvent();
        FlushResize();
      });
      mRunLoop->registerEventHandler(mIdleHandler, idleFd);
    }
    return;
  }
  // No run loop from the host: a thread of our own pumps the window. A tick that finds
  // the interface busy is skipped; the next comes a frame later.
  mFallbackTimer = Timer::Create(
      [this](Timer&) {
        {
          Lock lock(mPlug.InterfaceMutex(), std::try_to_lock);
          if (!lock.owns_lock()) return;
          if (IGraphics* ui = mPlug.GetUI()) ui->OnDisplayTick();
        }
        FlushResize();
      },
      kDisplayIntervalMs);
}

void IPlugVST3View::StopDriving() {
  if (!mRunLoop) return;
  for (LoopHandler** h : {&mEventHandler, &mIdleHandler}) {
    if (!*h) continue;
    mRunLoop->unregisterEventHandler(*h);
    (*h)->Detach();
    (*h)->release();
    *h = nullptr;
  }
  if (mDisplayTimer) {
    mRunLoop->unregisterTimer(mDisplayTimer);
    mDisplayTimer->Detach();
    mDisplayTimer->release();
    mDisplayTimer = nullptr;
  }
  mPlug.RouteIdleToTimer();
  mPlug.HostNotifier().DetachRunLoop(mRunLoop);
  mRunLoop->release();
  mRunLoop = nullptr;
}

tresult PLUGIN_API IPlugVST3View::onSize(ViewRect* newSize) {
  if (!newSize) return kInvalidArgument;
  {
    Lock lock(mPlug.InterfaceMutex());
    rect = *newSize;
    if (mPlug.GetHostResizeEnabled())
      mPlug.OnParentWindowResize(IGraphics::PixelsToUnits(newSize->getWidth(), mScale),
                                 IGraphics::PixelsToUnits(newSize->getHeight(), mScale));
  }
  FlushResize();
  return kResultTrue;
}

tresult PLUGIN_API IPlugVST3View::getSize(ViewRect* size) {
  if (!size) return kInvalidArgument;
  Lock lock(mPlug.InterfaceMutex());
  // The size the editor is drawn at, whatever the host last gave its window.
  const ViewRect r = EditorRect();
  *size = ViewRect(0, 0, r.getWidth(), r.getHeight());
  return kResultTrue;
}

tresult PLUGIN_API IPlugVST3View::canResize() {
  Lock lock(mPlug.InterfaceMutex());
  return mPlug.GetHostResizeEnabled() ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API IPlugVST3View::checkSizeConstraint(ViewRect* r) {
  if (!r) return kInvalidArgument;
  Lock lock(mPlug.InterfaceMutex());
  // The rule is in editor units; the host's rectangle is in its pixels.
  int w = IGraphics::PixelsToUnits(r->getWidth(), mScale);
  int h = IGraphics::PixelsToUnits(r->getHeight(), mScale);
  mPlug.ConstrainEditorResize(w, h);
  r->right = r->left + IGraphics::UnitsToPixels(w, mScale);
  r->bottom = r->top + IGraphics::UnitsToPixels(h, mScale);
  return kResultTrue;
}

tresult IPlugVST3View::KeyEvent(char16 key, int16 keyCode, int16 modifiers, bool up) {
  bool handled = false;
  {
    Lock lock(mPlug.InterfaceMutex());
    IGraphics* g = mPlug.GetUI();
    if (!g) return kResultFalse;
    const IKeyPress k = KeyFromHost(key, keyCode, modifiers);
    handled = up ? g->OnKeyUp(0.f, 0.f, k) : g->OnKeyDown(0.f, 0.f, k);
  }
  FlushResize();
  return handled ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API IPlugVST3View::onKeyDown(char16 key, int16 keyCode, int16 modifiers) {
  return KeyEvent(key, keyCode, modifiers, false);
}

tresult PLUGIN_API IPlugVST3View::onKeyUp(char16 key, int16 keyCode, int16 modifiers) {
  return KeyEvent(key, keyCode, modifiers, true);
}

tresult PLUGIN_API IPlugVST3View::setFrame(IPlugFrame* frame) {
  Lock lock(mPlug.InterfaceMutex());
  return CPluginView::setFrame(frame);
}

tresult PLUGIN_API IPlugVST3View::setContentScaleFactor(ScaleFactor factor) {
  if (!(factor >= 0.25f && factor <= 8.f)) return kInvalidArgument;
  {
    Lock lock(mPlug.InterfaceMutex());
    if (factor == mScale) return kResultTrue;
    mScale = factor;
    // The editor keeps its size in units; the host's frame is asked for the new pixels.
    if (IGraphics* g = mPlug.GetUI()) {
      g->SetScreenScale(factor);
      RequestResize(g->Width(), g->Height());
    }
  }
  FlushResize();
  return kResultTrue;
}

ViewRect IPlugVST3View::EditorRect() const {
  return ViewRect(rect.left, rect.top, rect.left + IGraphics::UnitsToPixels(mPlug.GetEditorWidth(), mScale),
                  rect.top + IGraphics::UnitsToPixels(mPlug.GetEditorHeight(), mScale));
}

void IPlugVST3View::RequestResize(int w, int h) {
  mResizePending = true;
  mPendingWidth = w;
  mPendingHeight = h;
}

void IPlugVST3View::FlushResize() {
  IPlugFrame* frame = nullptr;
  ViewRect r;
  {
    Lock lock(mPlug.InterfaceMutex());
    if (!mResizePending) return;
    mResizePending = false;
    frame = plugFrame;
    r = ViewRect(rect.left, rect.top, rect.left + IGraphics::UnitsToPixels(mPendingWidth, mScale),
                 rect.top + IGraphics::UnitsToPixels(mPendingHeight, mScale));
    if (!frame) {
      rect = r;
      return;
    }
  }
  // A host resizes its frame and calls onSize back, possibly from inside this call.
  frame->resizeView(this, &r);
}

// ---- the wrapper's side of the view -------------------------------------------------

IPlugView* PLUGIN_API IPlugVST3::createView(FIDString name) {
  Lock lock(InterfaceMutex());
  if (!name || std::strcmp(name, Vst::ViewType::kEditor) != 0 || !HasUI() || !mMakeGraphicsFunc || mView)
    return nullptr;
  mView = new IPlugVST3View(*this);
  return mView;
}

void IPlugVST3::EditorResizeFromUI(int w, int h, bool needsPlatformResize) {
  IPlugAPIBase::EditorResizeFromUI(w, h, needsPlatformResize);
  if (mView && needsPlatformResize) mView->RequestResize(w, h);
}

}  // namespace iplug
