#pragma once
// A small in-process VST3 host for the tests: loads a bundle, creates instances through
// its factory and drives them the way a host's processing and interface threads do.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivsthostapplication.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

namespace corvatest {

using namespace Steinberg;

// The bundle built next to the tests.
std::string BundlePath();
std::string ModulePath();

// A loaded module: dlopen, ModuleEntry on load, ModuleExit and dlclose on destruction.
class Module {
 public:
  explicit Module(const std::string& soPath);
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  bool ok() const { return mFactory != nullptr; }
  bool loaded() const { return mError.empty(); }
  const std::string& error() const { return mError; }
  IPluginFactory* factory() const { return mFactory; }
  // Releases the factory reference taken at load.
  void dropFactory() {
    if (mFactory) mFactory->release();
    mFactory = nullptr;
  }
  // Any other symbol the module exports; nullptr when it has none of that name.
  void* symbol(const char* name) const;
  bool (*entry)(void*) = nullptr;
  bool (*exit)() = nullptr;
  IPluginFactory* (*getFactory)() = nullptr;

 private:
  void* mLib = nullptr;
  IPluginFactory* mFactory = nullptr;
  std::string mError;
};

// Records what the plug-in tells its host.
class ComponentHandler : public Vst::IComponentHandler {
 public:
  struct Edit {
    char kind;  // 'b' begin, 'p' perform, 'e' end
    Vst::ParamID id;
    double value;
  };
  tresult PLUGIN_API beginEdit(Vst::ParamID id) override;
  tresult PLUGIN_API performEdit(Vst::ParamID id, Vst::ParamValue v) override;
  tresult PLUGIN_API endEdit(Vst::ParamID id) override;
  tresult PLUGIN_API restartComponent(int32 flags) override;
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override;
  uint32 PLUGIN_API addRef() override { return 1; }
  uint32 PLUGIN_API release() override { return 1; }

  std::vector<Edit> edits();
  std::vector<int32> restarts();
  // Called from restartComponent, as a host that reconfigures at once would.
  std::function<void(int32)> onRestart;

 private:
  std::mutex mMutex;
  std::vector<Edit> mEdits;
  std::vector<int32> mRestarts;
};

class ParamQueue final : public Vst::IParamValueQueue {
 public:
  explicit ParamQueue(Vst::ParamID id) : mId(id) {}
  Vst::ParamID PLUGIN_API getParameterId() override { return mId; }
  int32 PLUGIN_API getPointCount() override { return int32(mPoints.size()); }
  tresult PLUGIN_API getPoint(int32 i, int32& offset, Vst::ParamValue& v) override;
  tresult PLUGIN_API addPoint(int32 offset, Vst::ParamValue v, int32& index) override;
  tresult PLUGIN_API queryInterface(const TUID, void** obj) override;
  uint32 PLUGIN_API addRef() override { return 1; }
  uint32 PLUGIN_API release() override { return 1; }

 private:
  Vst::ParamID mId;
  std::vector<std::pair<int32, double>> mPoints;
};

class ParamChanges : public Vst::IParameterChanges {
 public:
  int32 PLUGIN_API getParameterCount() override { return int32(mQueues.size()); }
  Vst::IParamValueQueue* PLUGIN_API getParameterData(int32 i) override;
  Vst::IParamValueQueue* PLUGIN_API addParameterData(const Vst::ParamID& id, int32& index) override;
  tresult PLUGIN_API queryInterface(const TUID, void** obj) override;
  uint32 PLUGIN_API addRef() override { return 1; }
  uint32 PLUGIN_API release() override { return 1; }
  void add(Vst::ParamID id, int32 offset, double normalized);
  void clear() { mQueues.clear(); }

 private:
  std::vector<ParamQueue> mQueues;
};

class EventList : public Vst::IEventList {
 public:
  int32 PLUGIN_API getEventCount() override { return int32(mEvents.size()); }
  tresult PLUGIN_API getEvent(int32 i, Vst::Event& e) override;
  tresult PLUGIN_API addEvent(Vst::Event& e) override;
  tresult PLUGIN_API queryInterface(const TUID, void** obj) override;
  uint32 PLUGIN_API addRef() override { return 1; }
  uint32 PLUGIN_API release() override { return 1; }
  void noteOn(int32 offset, int16 pitch, float velocity, int16 channel = 0);
  void noteOff(int32 offset, int16 pitch, float velocity = 0.f, int16 channel = 0);
  void clear() { mEvents.clear(); }

 private:
  std::vector<Vst::Event> mEvents;
};

// A host with a UI thread of its own, as real hosts have. That thread runs the tasks other
// threads post to it, the timers of the run loop the host offers in its context (when it
// offers one) and, between them, a job of the test's. Its component handler passes every
// notification to that thread and waits up to 3 s for it to be taken, as hosts that
// serialise on their UI thread do: a notification made while the UI thread cannot run
// counts as a timeout instead of a hang.
class UiThreadHost : public Vst::IHostApplication, public Linux::IRunLoop, public Vst::IComponentHandler {
 public:
  explicit UiThreadHost(bool offerRunLoop) : mOfferRunLoop(offerRunLoop) {}
  ~UiThreadHost() { stop(); }
  UiThreadHost(const UiThreadHost&) = delete;
  UiThreadHost& operator=(const UiThreadHost&) = delete;

  FUnknown* context() { return static_cast<Vst::IHostApplication*>(this); }
  Vst::IComponentHandler* handler() { return this; }
  void start(std::function<void()> job);
  // Stops the UI thread; notifications after it are recorded without waiting.
  void stop();

  struct Note {
    char kind;  // 'b' begin, 'p' perform, 'e' end, 'r' restart
    Vst::ParamID id;
    double value;
    bool onUiThread;
  };
  std::vector<Note> notes();
  int timeouts() const { return mTimeouts.load(); }
  int timersRegistered();

  // IHostApplication
  tresult PLUGIN_API getName(Vst::String128 name) override;
  tresult PLUGIN_API createInstance(TUID cid, TUID iid, void** obj) override;
  // IRunLoop (file descriptors are not offered)
  tresult PLUGIN_API registerEventHandler(Linux::IEventHandler*, Linux::FileDescriptor) override {
    return kNotImplemented;
  }
  tresult PLUGIN_API unregisterEventHandler(Linux::IEventHandler*) override { return kNotImplemented; }
  tresult PLUGIN_API registerTimer(Linux::ITimerHandler* handler, Linux::TimerInterval ms) override;
  tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler* handler) override;
  // IComponentHandler
  tresult PLUGIN_API beginEdit(Vst::ParamID id) override { return note('b', id, 0.0); }
  tresult PLUGIN_API performEdit(Vst::ParamID id, Vst::ParamValue v) override { return note('p', id, v); }
  tresult PLUGIN_API endEdit(Vst::ParamID id) override { return note('e', id, 0.0); }
  tresult PLUGIN_API restartComponent(int32 flags) override { return note('r', 0, flags); }
  // FUnknown
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override;
  uint32 PLUGIN_API addRef() override { return 1; }
  uint32 PLUGIN_API release() override { return 1; }

 private:
  struct Timer {
    Linux::ITimerHandler* handler;
    Linux::TimerInterval ms;
    std::chrono::steady_clock::time_point next;
  };
  tresult note(char kind, Vst::ParamID id, double value);
  void run();

  const bool mOfferRunLoop;
  std::mutex mMutex;
  std::condition_variable mTaken;
  std::vector<Note> mPosted;  // waiting for the UI thread
  std::vector<Note> mNotes;   // taken
  std::vector<Timer> mTimers;
  std::function<void()> mJob;
  std::thread mThread;
  std::thread::id mUiThread;
  bool mRunning = false;
  std::atomic<bool> mStopping{false};
  std::atomic<int> mTimeouts{0};
};

// One plug-in instance, initialised as a host does it.
class Instance {
 public:
  // With a context and a handler of the test's own, or else the SDK's host application
  // and a handler that records.
  explicit Instance(IPluginFactory* factory, FUnknown* context = nullptr, Vst::IComponentHandler* handler = nullptr);
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  bool ok() const { return mComponent && mProcessor && mController; }
  Vst::IComponent* component() const { return mComponent; }
  Vst::IAudioProcessor* processor() const { return mProcessor; }
  Vst::IEditController* controller() const { return mController; }
  ComponentHandler& handler() { return mHandler; }

  // setupProcessing, setActive(true), setProcessing(true).
  tresult start(double rate, int32 maxBlock, int32 sampleSize = Vst::kSample32);
  void stop();

  // One process call of n frames; output appended to left/right.
  tresult process(int32 n, ParamChanges* changes = nullptr, EventList* events = nullptr);
  std::vector<float> left, right;
  int32 sampleSize = Vst::kSample32;
  // Handed to every process call when set.
  Vst::ProcessContext* context = nullptr;

  std::vector<char> getState();
  tresult setState(const std::vector<char>& bytes);

 private:
  Vst::IComponent* mComponent = nullptr;
  Vst::IAudioProcessor* mProcessor = nullptr;
  Vst::IEditController* mController = nullptr;
  ComponentHandler mHandler;
  bool mActive = false;
};

// Measurements on rendered audio.
double Rms(const std::vector<float>& x, size_t from, size_t to);
double PeakAbs(const std::vector<float>& x, size_t from, size_t to);
// The index of the first sample whose magnitude exceeds `threshold`, or x.size().
size_t FirstAbove(const std::vector<float>& x, float threshold);
// Fundamental frequency from the autocorrelation peak, between minHz and maxHz.
double Pitch(const std::vector<float>& x, size_t from, size_t to, double rate, double minHz, double maxHz);

}  // namespace corvatest
