#include "tests/vst3/test_host.h"

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

namespace corvatest {

std::string BundlePath() { return CORVA_VST3_BUNDLE; }
std::string ModulePath() { return BundlePath() + "/Contents/x86_64-linux/Corva.so"; }

template <class T>
static tresult QueryOnly(T* self, const TUID iid, void** obj) {
  if (FUnknownPrivate::iidEqual(iid, T::iid) || FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
    *obj = self;
    return kResultOk;
  }
  *obj = nullptr;
  return kNoInterface;
}

Module::Module(const std::string& soPath) {
  mLib = dlopen(soPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!mLib) {
    mError = dlerror();
    return;
  }
  entry = reinterpret_cast<bool (*)(void*)>(dlsym(mLib, "ModuleEntry"));
  exit = reinterpret_cast<bool (*)()>(dlsym(mLib, "ModuleExit"));
  getFactory = reinterpret_cast<IPluginFactory* (*)()>(dlsym(mLib, "GetPluginFactory"));
  if (!entry || !exit || !getFactory) {
    mError = "missing export";
    return;
  }
  if (!entry(mLib)) {
    mError = "ModuleEntry failed";
    return;
  }
  mFactory = getFactory();
  if (!mFactory) mError = "no factory";
}

void* Module::symbol(const char* name) const { return mLib ? dlsym(mLib, name) : nullptr; }

Module::~Module() {
  if (mFactory) mFactory->release();
  if (exit && mError.empty()) exit();
  if (mLib) dlclose(mLib);
}

tresult PLUGIN_API ComponentHandler::beginEdit(Vst::ParamID id) {
  std::lock_guard<std::mutex> l(mMutex);
  mEdits.push_back({'b', id, 0.0});
  return kResultOk;
}
tresult PLUGIN_API ComponentHandler::performEdit(Vst::ParamID id, Vst::ParamValue v) {
  std::lock_guard<std::mutex> l(mMutex);
  mEdits.push_back({'p', id, v});
  return kResultOk;
}
tresult PLUGIN_API ComponentHandler::endEdit(Vst::ParamID id) {
  std::lock_guard<std::mutex> l(mMutex);
  mEdits.push_back({'e', id, 0.0});
  return kResultOk;
}
tresult PLUGIN_API ComponentHandler::restartComponent(int32 flags) {
  {
    std::lock_guard<std::mutex> l(mMutex);
    mRestarts.push_back(flags);
  }
  if (onRestart) onRestart(flags);
  return kResultOk;
}
tresult PLUGIN_API ComponentHandler::queryInterface(const TUID iid, void** obj) {
  return QueryOnly<Vst::IComponentHandler>(this, iid, obj);
}
std::vector<ComponentHandler::Edit> ComponentHandler::edits() {
  std::lock_guard<std::mutex> l(mMutex);
  return mEdits;
}
std::vector<int32> ComponentHandler::restarts() {
  std::lock_guard<std::mutex> l(mMutex);
  return mRestarts;
}

tresult PLUGIN_API ParamQueue::getPoint(int32 i, int32& offset, Vst::ParamValue& v) {
  if (i < 0 || i >= getPointCount()) return kInvalidArgument;
  offset = mPoints[size_t(i)].first;
  v = mPoints[size_t(i)].second;
  return kResultOk;
}
tresult PLUGIN_API ParamQueue::addPoint(int32 offset, Vst::ParamValue v, int32& index) {
  mPoints.emplace_back(offset, v);
  index = getPointCount() - 1;
  return kResultOk;
}
tresult PLUGIN_API ParamQueue::queryInterface(const TUID iid, void** obj) {
  return QueryOnly<Vst::IParamValueQueue>(this, iid, obj);
}

Vst::IParamValueQueue* PLUGIN_API ParamChanges::getParameterData(int32 i) {
  if (i < 0 || i >= getParameterCount()) return nullptr;
  return &mQueues[size_t(i)];
}
Vst::IParamValueQueue* PLUGIN_API ParamChanges::addParameterData(const Vst::ParamID& id, int32& index) {
  for (size_t i = 0; i < mQueues.size(); ++i) {
    if (mQueues[i].getParameterId() == id) {
      index = int32(i);
      return &mQueues[i];
    }
  }
  mQueues.emplace_back(id);
  index = getParameterCount() - 1;
  return &mQueues.back();
}
tresult PLUGIN_API ParamChanges::queryInterface(const TUID iid, void** obj) {
  return QueryOnly<Vst::IParameterChanges>(this, iid, obj);
}
void ParamChanges::add(Vst::ParamID id, int32 offset, double normalized) {
  int32 index = 0;
  addParameterData(id, index)->addPoint(offset, normalized, index);
}

tresult PLUGIN_API EventList::getEvent(int32 i, Vst::Event& e) {
  if (i < 0 || i >= getEventCount()) return kInvalidArgument;
  e = mEvents[size_t(i)];
  return kResultOk;
}
tresult PLUGIN_API EventList::addEvent(Vst::Event& e) {
  mEvents.push_back(e);
  return kResultOk;
}
tresult PLUGIN_API EventList::queryInterface(const TUID iid, void** obj) {
  return QueryOnly<Vst::IEventList>(this, iid, obj);
}
// Note-on and note-off events share their layout up to the velocity.
static Vst::Event NoteEvent(uint16 type, int32 offset, int16 pitch, float velocity, int16 channel) {
  Vst::Event e{};
  e.sampleOffset = offset;
  e.type = type;
  if (type == Vst::Event::kNoteOnEvent) {
    e.noteOn = {channel, pitch, 0.f, velocity, 0, -1};
  } else {
    e.noteOff = {channel, pitch, velocity, -1, 0.f};
  }
  return e;
}

void EventList::noteOn(int32 offset, int16 pitch, float velocity, int16 channel) {
  mEvents.push_back(NoteEvent(Vst::Event::kNoteOnEvent, offset, pitch, velocity, channel));
}

void EventList::noteOff(int32 offset, int16 pitch, float velocity, int16 channel) {
  mEvents.push_back(NoteEvent(Vst::Event::kNoteOffEvent, offset, pitch, velocity, channel));
}

static Vst::HostApplication& TheHostApplication() {
  static Vst::HostApplication* app = new Vst::HostApplication();
  return *app;
}

void UiThreadHost::start(std::function<void()> job) {
  std::lock_guard<std::mutex> l(mMutex);
  mJob = std::move(job);
  mRunning = true;
  mThread = std::thread([this] { run(); });
  mUiThread = mThread.get_id();
}

void UiThreadHost::stop() {
  mStopping = true;
  if (mThread.joinable()) mThread.join();
  std::lock_guard<std::mutex> l(mMutex);
  mRunning = false;
  // What was posted and never taken counts as taken now, off the UI thread.
  for (Note& n : mPosted) mNotes.push_back(n);
  mPosted.clear();
  mTaken.notify_all();
}

void UiThreadHost::run() {
  while (!mStopping.load()) {
    std::vector<Linux::ITimerHandler*> due;
    {
      std::lock_guard<std::mutex> l(mMutex);
      for (Note& n : mPosted) mNotes.push_back({n.kind, n.id, n.value, true});
      mPosted.clear();
      mTaken.notify_all();
      const auto now = std::chrono::steady_clock::now();
      for (Timer& t : mTimers) {
        if (now < t.next) continue;
        due.push_back(t.handler);
        t.next = now + std::chrono::milliseconds(t.ms);
      }
    }
    // A handler unregistered by another due one is still called once: timers here are
    // unregistered only on this thread or after it stopped.
    for (Linux::ITimerHandler* h : due) h->onTimer();
    if (mJob) mJob();
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
}

tresult UiThreadHost::note(char kind, Vst::ParamID id, double value) {
  std::unique_lock<std::mutex> l(mMutex);
  if (!mRunning || std::this_thread::get_id() == mUiThread) {
    mNotes.push_back({kind, id, value, std::this_thread::get_id() == mUiThread});
    return kResultOk;
  }
  mPosted.push_back({kind, id, value, false});
  const size_t taken = mNotes.size() + mPosted.size();
  if (!mTaken.wait_for(l, std::chrono::seconds(3), [&] { return mNotes.size() >= taken; })) ++mTimeouts;
  return kResultOk;
}

std::vector<UiThreadHost::Note> UiThreadHost::notes() {
  std::lock_guard<std::mutex> l(mMutex);
  return mNotes;
}

int UiThreadHost::timersRegistered() {
  std::lock_guard<std::mutex> l(mMutex);
  return int(mTimers.size());
}

tresult PLUGIN_API UiThreadHost::getName(Vst::String128 name) { return TheHostApplication().getName(name); }

tresult PLUGIN_API UiThreadHost::createInstance(TUID cid, TUID iid, void** obj) {
  return TheHostApplication().createInstance(cid, iid, obj);
}

tresult PLUGIN_API UiThreadHost::registerTimer(Linux::ITimerHandler* handler, Linux::TimerInterval ms) {
  if (!handler || ms == 0) return kInvalidArgument;
  std::lock_guard<std::mutex> l(mMutex);
  mTimers.push_back({handler, ms, std::chrono::steady_clock::now() + std::chrono::milliseconds(ms)});
  return kResultOk;
}

tresult PLUGIN_API UiThreadHost::unregisterTimer(Linux::ITimerHandler* handler) {
  std::lock_guard<std::mutex> l(mMutex);
  for (auto it = mTimers.begin(); it != mTimers.end(); ++it) {
    if (it->handler == handler) {
      mTimers.erase(it);
      return kResultOk;
    }
  }
  return kInvalidArgument;
}

tresult PLUGIN_API UiThreadHost::queryInterface(const TUID iid, void** obj) {
  if (FUnknownPrivate::iidEqual(iid, Vst::IHostApplication::iid) || FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
    *obj = static_cast<Vst::IHostApplication*>(this);
    return kResultOk;
  }
  if (mOfferRunLoop && FUnknownPrivate::iidEqual(iid, Linux::IRunLoop::iid)) {
    *obj = static_cast<Linux::IRunLoop*>(this);
    return kResultOk;
  }
  if (FUnknownPrivate::iidEqual(iid, Vst::IComponentHandler::iid)) {
    *obj = static_cast<Vst::IComponentHandler*>(this);
    return kResultOk;
  }
  *obj = nullptr;
  return kNoInterface;
}

Instance::Instance(IPluginFactory* factory, FUnknown* context, Vst::IComponentHandler* handler) {
  PClassInfo info;
  if (!factory || factory->getClassInfo(0, &info) != kResultOk) return;
  void* obj = nullptr;
  if (factory->createInstance(info.cid, Vst::IComponent::iid, &obj) != kResultOk) return;
  mComponent = static_cast<Vst::IComponent*>(obj);
  if (mComponent->initialize(context ? context : &TheHostApplication()) != kResultOk) return;
  if (mComponent->queryInterface(Vst::IAudioProcessor::iid, &obj) == kResultOk)
    mProcessor = static_cast<Vst::IAudioProcessor*>(obj);
  if (mComponent->queryInterface(Vst::IEditController::iid, &obj) == kResultOk)
    mController = static_cast<Vst::IEditController*>(obj);
  if (mController) mController->setComponentHandler(handler ? handler : &mHandler);
}

Instance::~Instance() {
  stop();
  if (mController) {
    mController->setComponentHandler(nullptr);
    mController->release();
  }
  if (mProcessor) mProcessor->release();
  if (mComponent) {
    mComponent->terminate();
    mComponent->release();
  }
}

tresult Instance::start(double rate, int32 maxBlock, int32 size) {
  Vst::ProcessSetup setup{Vst::kRealtime, size, maxBlock, rate};
  sampleSize = size;
  tresult r = mProcessor->setupProcessing(setup);
  if (r != kResultOk) return r;
  r = mComponent->setActive(true);
  if (r != kResultOk) return r;
  mActive = true;
  mProcessor->setProcessing(true);
  return kResultOk;
}

void Instance::stop() {
  if (!mActive) return;
  mProcessor->setProcessing(false);
  mComponent->setActive(false);
  mActive = false;
}

tresult Instance::process(int32 n, ParamChanges* changes, EventList* events) {
  std::vector<float> l32(static_cast<size_t>(n)), r32(static_cast<size_t>(n));
  std::vector<double> l64(static_cast<size_t>(n)), r64(static_cast<size_t>(n));
  float* ch32[2] = {l32.data(), r32.data()};
  double* ch64[2] = {l64.data(), r64.data()};
  Vst::AudioBusBuffers out;
  out.numChannels = 2;
  out.silenceFlags = 0;
  if (sampleSize == Vst::kSample64) out.channelBuffers64 = ch64;
  else out.channelBuffers32 = ch32;
  Vst::ProcessData data;
  data.processMode = Vst::kRealtime;
  data.symbolicSampleSize = sampleSize;
  data.numSamples = n;
  data.numInputs = 0;
  data.numOutputs = 1;
  data.outputs = &out;
  data.inputParameterChanges = changes;
  data.inputEvents = events;
  data.processContext = context;
  const tresult r = mProcessor->process(data);
  for (int32 i = 0; i < n; ++i) {
    left.push_back(sampleSize == Vst::kSample64 ? float(l64[size_t(i)]) : l32[size_t(i)]);
    right.push_back(sampleSize == Vst::kSample64 ? float(r64[size_t(i)]) : r32[size_t(i)]);
  }
  return r;
}

std::vector<char> Instance::getState() {
  MemoryStream stream;
  if (mComponent->getState(&stream) != kResultOk) return {};
  const auto size = stream.getSize();
  std::vector<char> bytes(static_cast<size_t>(size));
  std::memcpy(bytes.data(), stream.getData(), size_t(size));
  return bytes;
}

tresult Instance::setState(const std::vector<char>& bytes) {
  MemoryStream stream;
  int32 written = 0;
  stream.write(const_cast<char*>(bytes.data()), int32(bytes.size()), &written);
  int64 pos = 0;
  stream.seek(0, IBStream::kIBSeekSet, &pos);
  return mComponent->setState(&stream);
}

double Rms(const std::vector<float>& x, size_t from, size_t to) {
  to = std::min(to, x.size());
  if (to <= from) return 0.0;
  double s = 0.0;
  for (size_t i = from; i < to; ++i) s += double(x[i]) * x[i];
  return std::sqrt(s / double(to - from));
}

double PeakAbs(const std::vector<float>& x, size_t from, size_t to) {
  to = std::min(to, x.size());
  double p = 0.0;
  for (size_t i = from; i < to; ++i) p = std::max(p, double(std::fabs(x[i])));
  return p;
}

size_t FirstAbove(const std::vector<float>& x, float threshold) {
  for (size_t i = 0; i < x.size(); ++i)
    if (std::fabs(x[i]) > threshold) return i;
  return x.size();
}

double Pitch(const std::vector<float>& x, size_t from, size_t to, double rate, double minHz, double maxHz) {
  to = std::min(to, x.size());
  if (to <= from) return 0.0;
  const size_t n = to - from;
  const size_t minLag = std::max<size_t>(size_t(rate / maxHz), 1);
  const size_t maxLag = std::min(size_t(rate / minHz), n / 2);
  if (maxLag <= minLag + 2) return 0.0;
  std::vector<double> r(maxLag + 2, 0.0);
  double best = 0.0;
  for (size_t lag = minLag; lag <= maxLag + 1; ++lag) {
    double s = 0.0;
    for (size_t i = from; i + lag < to; ++i) s += double(x[i]) * x[i + lag];
    r[lag] = s / double(n - lag);
    if (lag <= maxLag) best = std::max(best, r[lag]);
  }
  if (best <= 0.0) return 0.0;
  // The shortest lag that peaks near the best one is the period; its multiples peak too.
  for (size_t lag = minLag + 1; lag <= maxLag; ++lag) {
    if (r[lag] >= 0.85 * best && r[lag] >= r[lag - 1] && r[lag] >= r[lag + 1]) {
      // Parabolic interpolation around the peak for a fractional period.
      const double a = r[lag - 1], b = r[lag], c = r[lag + 1];
      const double den = a - 2 * b + c;
      const double shift = den != 0.0 ? 0.5 * (a - c) / den : 0.0;
      return rate / (double(lag) + shift);
    }
  }
  return 0.0;
}

}  // namespace corvatest
