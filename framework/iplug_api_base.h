#pragma once
// The plug-in side that talks to a host: parameter edits from the interface, the host
// notifications a wrapper implements, and the 20 ms idle timer.
//
// Threads: every interface-thread entry point (the idle tick, and in a wrapper the
// edit-controller and view calls) runs under InterfaceMutex(), so state that belongs
// to the interface thread is never touched by two threads at once. The audio thread
// never takes it.

#include <memory>
#include <mutex>
#include <vector>

#include "framework/idle_timer.h"
#include "framework/iplugin_base.h"

namespace iplug {

class IPlugAPIBase : public IPluginBase {
 public:
  static constexpr std::uint32_t kIdleTimerMs = 20;

  explicit IPlugAPIBase(const Config& config);
  ~IPlugAPIBase() override;

  // An edit of parameter `paramIdx` from the plug-in's own interface, normalised:
  // the value is set, the host is told, OnParamChange and then OnParamChangeUI run with
  // the source kUI. Inside a gesture on the parameter the host hears of the edit alone;
  // outside one, inside a begin/end bracket of its own. Unknown indices are ignored.
  virtual void SendParameterValueFromUI(int paramIdx, double normalizedValue);

  // A gesture of the interface on `paramIdx` (a press to its release): the host hears of
  // its begin at the first open and of its end when the last open one closes, so a
  // gesture is one edit for the host however many values it sets. Interface thread;
  // unknown indices and an end without a begin are ignored.
  void BeginParameterGestureFromUI(int paramIdx);
  void EndParameterGestureFromUI(int paramIdx);
  // Ends every gesture still open, as when the interface that began them goes away.
  void EndAllParameterGesturesFromUI();

  // Host notifications of an edit, implemented by the wrapper that has a host to tell.
  virtual void BeginInformHostOfParamChange(int /*paramIdx*/) {}
  virtual void InformHostOfParamChange(int /*paramIdx*/, double /*normalizedValue*/) {}
  virtual void EndInformHostOfParamChange(int /*paramIdx*/) {}

  // Called every 20 ms on the interface side for the plug-in's whole life.
  virtual void OnIdle() {}

  // One idle tick: OnIdle under the interface mutex. A tick that finds the interface
  // busy on another thread is skipped; the next one comes 20 ms later. Either way
  // AfterIdleTick follows with the mutex released.
  void OnTimer();

  // Called after every idle tick on the idle timer's thread, holding no lock of the
  // plug-in: a wrapper hands its host what the tick queued for it here when the host
  // offers no thread of its own for that.
  virtual void AfterIdleTick() {}

  // While a host's run loop drives the open editor, idle ticks run there: the timer
  // thread signals each tick on an event descriptor the host's loop watches, and
  // OnHostIdleEvent runs it on the host's thread. Returns the descriptor, or -1 when
  // none could be made (the timer thread then keeps running the ticks itself).
  int RouteIdleToHostLoop();
  // The host's loop found the descriptor readable: one idle tick.
  void OnHostIdleEvent();
  // Back to the timer thread. A tick that was signalled and not yet run runs now, so no
  // tick is lost or run twice across the switch.
  void RouteIdleToTimer();

  // Starts the framework's idle timer thread; a second call does nothing. Call it once
  // the plug-in is fully constructed, and DestroyTimer() before its members go away.
  void CreateTimer();
  void DestroyTimer();

  std::recursive_mutex& InterfaceMutex() { return mInterfaceMutex; }

 private:
  std::recursive_mutex mInterfaceMutex;
  std::vector<int> mOpenGestures;  // per parameter: gestures begun and not yet ended
  std::mutex mIdleRouteMutex;
  int mIdleEventFd = -1;
  std::unique_ptr<Timer> mTimer;
};

}  // namespace iplug
