#pragma once
// What a VST3 plug-in tells its host about itself (edit gestures, component restarts),
// queued wherever it arises and handed to the host later, never while a lock of the
// plug-in is held: a host may answer on another thread that is itself waiting for the
// plug-in.
//
// Where the host offers run loops of its UI thread (the host context's, the frame of an
// attached view), the queue is delivered from a timer on the first one attached, so
// every notification reaches the host on its UI thread. Without one, the owner calls
// Deliver() from a thread of its own once it has released its locks.

#include <atomic>
#include <mutex>
#include <vector>

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

namespace iplug {

class VST3HostNotifier {
 public:
  static constexpr Steinberg::Linux::TimerInterval kRunLoopIntervalMs = 10;

  VST3HostNotifier();
  ~VST3HostNotifier();
  VST3HostNotifier(const VST3HostNotifier&) = delete;
  VST3HostNotifier& operator=(const VST3HostNotifier&) = delete;

  // The host's component handler (a reference is kept). Null stops delivery and drops
  // what waits.
  void SetHandler(Steinberg::Vst::IComponentHandler* handler);

  // Any thread but the audio thread.
  void BeginEdit(Steinberg::Vst::ParamID id);
  void PerformEdit(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value);
  void EndEdit(Steinberg::Vst::ParamID id);
  // A restart joins one that is still waiting: the host reads the new state once.
  void Restart(Steinberg::int32 flags);
  // Asks the host to restart now, on the calling thread (a host thread that called the
  // plug-in and may hear of what its call changed once the plug-in's locks are
  // released), together with a restart that is still waiting. Hold no lock of the
  // plug-in.
  void RestartNow(Steinberg::int32 flags);

  // A run loop of the host's UI thread, kept (with a reference) until detached. While any
  // is attached, delivery runs from a timer on the first one, and HasRunLoop() holds.
  // Attach and detach on the host's UI thread.
  void AttachRunLoop(Steinberg::Linux::IRunLoop* runLoop);
  void DetachRunLoop(Steinberg::Linux::IRunLoop* runLoop);
  void DetachAllRunLoops();
  bool HasRunLoop() const { return mRunLoopCount.load() > 0; }

  // Hands every waiting notification to the host, in order, on the calling thread. Call
  // it holding no lock of the plug-in. When another thread is delivering, returns at once:
  // that thread sends what waits.
  void Deliver();

  bool HasPending();

 private:
  struct Note {
    enum Kind : char { kBegin, kPerform, kEnd, kRestart } kind;
    Steinberg::Vst::ParamID id;
    Steinberg::Vst::ParamValue value;
    Steinberg::int32 flags;
  };

  // The timer a run loop calls; delivers the queue. Owned by the notifier, which
  // unregisters it before it goes.
  class RunLoopTimer : public Steinberg::Linux::ITimerHandler {
   public:
    explicit RunLoopTimer(VST3HostNotifier& owner) : mOwner(owner) {}
    void PLUGIN_API onTimer() override { mOwner.Deliver(); }
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }

   private:
    VST3HostNotifier& mOwner;
  };

  void Push(const Note& note);
  // The end of a call to the handler taken with mMutex held (mHandlerUsers counted up):
  // handlers replaced meanwhile are released once no call uses them.
  void EndHandlerUse();

  std::mutex mMutex;  // guards the queue, the handlers and the run loops; never held in a call to the host
  std::vector<Note> mQueue;
  Steinberg::Vst::IComponentHandler* mHandler = nullptr;  // holds a reference
  int mHandlerUsers = 0;                                  // calls to a handler running outside mMutex
  // Handlers replaced while a call was using one; released when the last call ends.
  std::vector<Steinberg::Vst::IComponentHandler*> mRetired;
  std::vector<Steinberg::Linux::IRunLoop*> mRunLoops;  // the first one carries the timer
  std::atomic<int> mRunLoopCount{0};
  std::atomic<bool> mDelivering{false};
  RunLoopTimer mTimer{*this};
};

}  // namespace iplug
