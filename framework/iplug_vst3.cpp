#include "framework/iplug_vst3.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "framework/ibyte_chunk.h"
#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/base/ustring.h"
#include "pluginterfaces/vst/ivstunits.h"

namespace iplug {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

constexpr UnitID kMidiCCsUnit = 1;
constexpr UnitID kMidiChannel1Unit = 2;
// A saved state larger than this is not ours.
constexpr int kMaxStateBytes = 1 << 20;

void CopyAscii(String128 dst, const char* src) { UString(dst, 128).fromAscii(src ? src : ""); }

std::string ToAscii(const TChar* src) {
  char buf[129] = {};
  UString(const_cast<TChar*>(src), 128).toAscii(buf, 128);
  return buf;
}

// Rounds a normalised host value to a 7-bit MIDI value; anything not finite counts as 0.
int To7Bit(double normalized) {
  if (!std::isfinite(normalized)) return 0;
  return static_cast<int>(std::lround(std::clamp(normalized, 0.0, 1.0) * 127.0));
}

std::uint8_t Clamp7(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 127)); }

// A host parameter that shows, parses and converts through the plug-in's own parameter.
class WrappedParameter : public Parameter {
 public:
  WrappedParameter(IParam& param, ParamID id) : mParam(param) {
    info.id = id;
    CopyAscii(info.title, param.GetName());
    CopyAscii(info.shortTitle, "");
    CopyAscii(info.units, param.GetLabel());
    const bool isDouble = param.Type() == IParam::kTypeDouble;
    info.stepCount = isDouble ? 0 : static_cast<int32>(std::lround(param.GetRange()));
    info.defaultNormalizedValue = param.GetDefault(true);
    info.unitId = kRootUnitId;
    info.flags = param.GetCanAutomate() ? ParameterInfo::kCanAutomate : 0;
    if (param.Type() == IParam::kTypeEnum) info.flags |= ParameterInfo::kIsList;
    valueNormalized = param.GetNormalized();
    precision = param.GetDisplayPrecision();
  }

  void toString(ParamValue normalized, String128 string) const override {
    CopyAscii(string, mParam.GetDisplay(normalized, true).c_str());
  }

  bool fromString(const TChar* string, ParamValue& normalized) const override {
    const std::string text = ToAscii(string);
    for (int i = 0; i < mParam.NDisplayTexts(); ++i) {
      double value = 0.0;
      const char* t = mParam.GetDisplayTextAtIdx(i, &value);
      if (t && text == t) {
        normalized = mParam.ToNormalized(value);
        return true;
      }
    }
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || !std::isfinite(value)) return false;
    normalized = mParam.ToNormalized(value);
    return true;
  }

  ParamValue toPlain(ParamValue normalized) const override { return mParam.FromNormalized(normalized); }
  ParamValue toNormalized(ParamValue plain) const override { return mParam.ToNormalized(plain); }

 private:
  IParam& mParam;
};

}  // namespace

IPlugVST3::IPlugVST3(const InstanceInfo& /*info*/, const Config& config)
    : IPlugAPIBase(config), IPlugProcessor(config) {}

IPlugVST3::~IPlugVST3() { DestroyTimer(); }

// ---- framework side ---------------------------------------------------------------

void IPlugVST3::SendParameterValueFromUI(int paramIdx, double normalizedValue) {
  Lock lock(InterfaceMutex());
  if (Parameter* p = getParameterObject(static_cast<ParamID>(paramIdx))) p->setNormalized(normalizedValue);
  IPlugAPIBase::SendParameterValueFromUI(paramIdx, normalizedValue);
}

void IPlugVST3::BeginInformHostOfParamChange(int paramIdx) { mHostNotifier.BeginEdit(static_cast<ParamID>(paramIdx)); }

void IPlugVST3::InformHostOfParamChange(int paramIdx, double normalizedValue) {
  mHostNotifier.PerformEdit(static_cast<ParamID>(paramIdx), normalizedValue);
}

void IPlugVST3::EndInformHostOfParamChange(int paramIdx) { mHostNotifier.EndEdit(static_cast<ParamID>(paramIdx)); }

void IPlugVST3::SetLatency(int samples) {
  const int previous = GetLatency();
  IPlugProcessor::SetLatency(samples);
  if (samples == previous) return;
  if (mResettingThread.load() == std::this_thread::get_id()) mRestartForCaller |= kLatencyChanged;
  else mHostNotifier.Restart(kLatencyChanged);
}

void IPlugVST3::ResetForHostCall() {
  int32 restart = 0;
  {
    Lock lock(InterfaceMutex());
    mResetPending.store(false);
    mRestartForCaller = 0;
    mResettingThread.store(std::this_thread::get_id());
    OnReset();
    mResettingThread.store(std::thread::id());
    restart = mRestartForCaller;
  }
  if (restart) mHostNotifier.RestartNow(restart);
}

void IPlugVST3::AfterIdleTick() {
  if (!mHostNotifier.HasRunLoop()) mHostNotifier.Deliver();
}

// ---- FUnknown ---------------------------------------------------------------------

tresult PLUGIN_API IPlugVST3::queryInterface(const TUID iid, void** obj) {
  QUERY_INTERFACE(iid, obj, IComponent::iid, IComponent)
  QUERY_INTERFACE(iid, obj, IAudioProcessor::iid, IAudioProcessor)
  QUERY_INTERFACE(iid, obj, IProcessContextRequirements::iid, IProcessContextRequirements)
  if (DoesMIDIIn()) {
    QUERY_INTERFACE(iid, obj, IMidiMapping::iid, IMidiMapping)
  }
  return EditControllerEx1::queryInterface(iid, obj);
}

uint32 PLUGIN_API IPlugVST3::addRef() { return EditControllerEx1::addRef(); }

uint32 PLUGIN_API IPlugVST3::release() {
  if (FUnknownPrivate::atomicAdd(refCount, -1) == 0) {
    // No idle tick may run while the plug-in's own members are destroyed.
    DestroyTimer();
    refCount = -1000;
    delete this;
    return 0;
  }
  return static_cast<uint32>(refCount);
}

// ---- IPluginBase ------------------------------------------------------------------

tresult PLUGIN_API IPlugVST3::initialize(FUnknown* context) {
  {
    Lock lock(InterfaceMutex());
    // Some hosts initialise the controller of a single-component plug-in again after the
    // component; only the first call sets up, and terminate() counts the calls back down.
    if (mInitCount++ > 0) return kResultOk;
    const tresult r = EditControllerEx1::initialize(context);
    if (r != kResultOk) {
      mInitCount = 0;
      return r;
    }
    AddParameters();
    CreateTimer();
  }
  // Asking the host for its run loop and registering a timer on it are calls into the
  // host: made with the mutex released.
  FUnknownPtr<Linux::IRunLoop> runLoop(context);
  if (runLoop) {
    mContextRunLoop = runLoop;
    mHostNotifier.AttachRunLoop(runLoop);
  }
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::terminate() {
  {
    Lock lock(InterfaceMutex());
    if (mInitCount == 0) return kResultOk;
    if (--mInitCount > 0) return kResultOk;
  }
  // Stopped outside the lock: a tick in progress holds it and must be able to finish.
  DestroyTimer();
  // The host is going: what still waits for it is dropped.
  mHostNotifier.SetHandler(nullptr);
  if (mContextRunLoop) {
    mHostNotifier.DetachRunLoop(mContextRunLoop);
    mContextRunLoop = nullptr;
  }
  Lock lock(InterfaceMutex());
  return EditControllerEx1::terminate();
}

void IPlugVST3::AddParameters() {
  String128 name;
  CopyAscii(name, "Root");
  addUnit(new Unit(name, kRootUnitId, kNoParentUnitId));

  for (int i = 0; i < NParams(); ++i) parameters.addParameter(new WrappedParameter(*GetParam(i), ParamID(i)));

  if (!DoesMIDIIn()) return;
  CopyAscii(name, "MIDI CCs");
  addUnit(new Unit(name, kMidiCCsUnit, kRootUnitId));
  CopyAscii(name, "CH1");
  addUnit(new Unit(name, kMidiChannel1Unit, kMidiCCsUnit));
  for (int cc = 0; cc < kNumMIDICCParams; ++cc) {
    std::string title = cc == kAfterTouch  ? "Channel Aftertouch"
                        : cc == kPitchBend ? "Pitch Bend"
                                           : "CC" + std::to_string(cc);
    String128 t, units;
    CopyAscii(t, title.c_str());
    CopyAscii(units, "");
    const double def = cc == kPitchBend ? 0.5 : 0.0;
    parameters.addParameter(t, units, 0, def, ParameterInfo::kIsHidden, int32(kMIDICCParamStartIdx) + cc,
                            kMidiChannel1Unit);
  }
}

// ---- IComponent -------------------------------------------------------------------

tresult PLUGIN_API IPlugVST3::getControllerClassId(TUID) { return kNotImplemented; }

tresult PLUGIN_API IPlugVST3::setIoMode(IoMode) { return kResultOk; }

int32 PLUGIN_API IPlugVST3::getBusCount(MediaType type, BusDirection dir) {
  if (type == kAudio)
    return dir == kInput ? (MaxNChannels(iplug::kInput) > 0 ? 1 : 0) : (MaxNChannels(iplug::kOutput) > 0 ? 1 : 0);
  if (type == kEvent) return dir == kInput && DoesMIDIIn() ? 1 : 0;
  return 0;
}

tresult PLUGIN_API IPlugVST3::getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& bus) {
  if (index < 0 || index >= getBusCount(type, dir)) return kInvalidArgument;
  bus.mediaType = type;
  bus.direction = dir;
  bus.busType = kMain;
  bus.flags = BusInfo::kDefaultActive;
  if (type == kAudio) {
    bus.channelCount = MaxNChannels(dir == kInput ? iplug::kInput : iplug::kOutput);
    CopyAscii(bus.name, dir == kInput ? "Input" : "Output");
  } else {
    bus.channelCount = 16;
    CopyAscii(bus.name, "MIDI Input");
  }
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::getRoutingInfo(RoutingInfo&, RoutingInfo&) { return kNotImplemented; }

tresult PLUGIN_API IPlugVST3::activateBus(MediaType type, BusDirection dir, int32 index, TBool) {
  return index >= 0 && index < getBusCount(type, dir) ? kResultOk : kInvalidArgument;
}

// Activating is where the host allows the heavy work of a reset that stopping the
// processing asked for: no process() call runs now.
tresult PLUGIN_API IPlugVST3::setActive(TBool state) {
  if (state && mResetPending.load()) ResetForHostCall();
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::getState(IBStream* state) {
  if (!state) return kInvalidArgument;
  Lock lock(InterfaceMutex());
  IByteChunk chunk;
  if (!SerializeState(chunk)) return kResultFalse;
  const int32 bypass = 0;
  chunk.Put(&bypass);
  int32 written = 0;
  if (state->write(chunk.GetData(), chunk.Size(), &written) != kResultOk || written != chunk.Size())
    return kResultFalse;
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::setState(IBStream* state) {
  if (!state) return kInvalidArgument;
  Lock lock(InterfaceMutex());
  IByteChunk chunk;
  char buf[4096];
  for (;;) {
    int32 got = 0;
    if (state->read(buf, sizeof(buf), &got) != kResultOk || got <= 0) break;
    chunk.PutBytes(buf, got);
    if (chunk.Size() > kMaxStateBytes) return kResultFalse;
  }
  // A state with values that are not numbers was not written by this plug-in: refuse it
  // whole rather than restore part of it.
  for (int i = 0, pos = 0; i < NParams(); ++i) {
    double v = 0.0;
    pos = chunk.Get(&v, pos);
    if (pos < 0 || !std::isfinite(v)) return kResultFalse;
  }
  const int pos = UnserializeState(chunk, 0);
  if (pos < 0) return kResultFalse;
  int32 bypass = 0;
  chunk.Get(&bypass, pos);  // optional; an instrument has no bypass to restore
  for (int i = 0; i < NParams(); ++i) {
    if (Parameter* p = getParameterObject(static_cast<ParamID>(i))) p->setNormalized(GetParam(i)->GetNormalized());
  }
  OnRestoreState();
  return kResultOk;
}

// ---- IAudioProcessor --------------------------------------------------------------

tresult PLUGIN_API IPlugVST3::setBusArrangements(SpeakerArrangement* inputs, int32 numIns, SpeakerArrangement* outputs,
                                                 int32 numOuts) {
  if (numIns != getBusCount(kAudio, kInput) || numOuts != getBusCount(kAudio, kOutput)) return kResultFalse;
  if (numIns > 0 && (!inputs || SpeakerArr::getChannelCount(inputs[0]) != MaxNChannels(iplug::kInput)))
    return kResultFalse;
  if (numOuts > 0 && (!outputs || SpeakerArr::getChannelCount(outputs[0]) != MaxNChannels(iplug::kOutput)))
    return kResultFalse;
  return kResultTrue;
}

tresult PLUGIN_API IPlugVST3::getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr) {
  if (index != 0 || getBusCount(kAudio, dir) == 0) return kInvalidArgument;
  const int n = MaxNChannels(dir == kInput ? iplug::kInput : iplug::kOutput);
  arr = n == 1 ? SpeakerArr::kMono : n == 2 ? SpeakerArr::kStereo : SpeakerArr::kEmpty;
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::canProcessSampleSize(int32 size) {
  return size == kSample32 || size == kSample64 ? kResultTrue : kResultFalse;
}

uint32 PLUGIN_API IPlugVST3::getLatencySamples() { return static_cast<uint32>(std::max(GetLatency(), 0)); }

uint32 PLUGIN_API IPlugVST3::getTailSamples() { return kNoTail; }

tresult PLUGIN_API IPlugVST3::setupProcessing(ProcessSetup& setup) {
  if (canProcessSampleSize(setup.symbolicSampleSize) != kResultTrue) return kResultFalse;
  if (setup.maxSamplesPerBlock <= 0) return kInvalidArgument;
  {
    Lock lock(InterfaceMutex());
    if (!SetSampleRate(setup.sampleRate)) return kInvalidArgument;
    SetBlockSize(setup.maxSamplesPerBlock);
    mSpareOutput.assign(static_cast<size_t>(GetBlockSize()), 0.0f);
  }
  ResetForHostCall();
  return kResultOk;
}

// May come on the audio thread or while process() still runs elsewhere: nothing here
// touches the audio state.
tresult PLUGIN_API IPlugVST3::setProcessing(TBool state) {
  if (!state) mResetPending.store(true);
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::process(ProcessData& data) {
  const int nFrames = std::max(data.numSamples, 0);
  ProcessParameterChanges(data.inputParameterChanges, nFrames);
  ProcessEvents(data.inputEvents, nFrames);
  if (nFrames > 0 && data.numOutputs > 0 && data.outputs) {
    ProcessAudio(data);
  } else if (nFrames == 0) {
    // Hosts flush parameter changes with empty blocks: the plug-in still sees a block, so
    // it takes the changes (and what follows from them, such as its latency) at once.
    sample* out[2] = {mSpareOutput.data(), mSpareOutput.data()};
    ProcessBlock(nullptr, out, 0);
  }
  return kResultOk;
}

void IPlugVST3::ProcessParameterChanges(IParameterChanges* changes, int nFrames) {
  if (!changes) return;
  const int32 count = changes->getParameterCount();
  const int lastFrame = std::max(nFrames - 1, 0);
  for (int32 i = 0; i < count; ++i) {
    IParamValueQueue* queue = changes->getParameterData(i);
    if (!queue) continue;
    const int32 points = queue->getPointCount();
    if (points <= 0) continue;
    // Only the last point of a block counts.
    int32 offset = 0;
    ParamValue value = 0.0;
    if (queue->getPoint(points - 1, offset, value) != kResultOk || !std::isfinite(value)) continue;
    value = std::clamp(value, 0.0, 1.0);
    offset = std::clamp<int32>(offset, 0, lastFrame);
    const ParamID id = queue->getParameterId();
    if (id < static_cast<ParamID>(NParams())) {
      GetParam(static_cast<int>(id))->SetNormalized(value);
      OnParamChange(static_cast<int>(id), kHost, offset);
    } else if (DoesMIDIIn() && id >= kMIDICCParamStartIdx && id < kMIDICCParamStartIdx + kNumMIDICCParams) {
      const int cc = static_cast<int>(id - kMIDICCParamStartIdx);
      IMidiMsg msg;
      if (cc == kPitchBend) {
        const int bend = static_cast<int>(std::lround(value * 16383.0));
        msg = IMidiMsg(offset, 0xE0, Clamp7(bend & 0x7F), Clamp7(bend >> 7));
      } else if (cc == kAfterTouch) {
        msg = IMidiMsg(offset, 0xD0, Clamp7(To7Bit(value)), 0);
      } else {
        msg.MakeControlChangeMsg(cc, To7Bit(value), offset, 0);
      }
      ProcessMidiMsg(msg);
    }
  }
}

void IPlugVST3::ProcessEvents(IEventList* events, int nFrames) {
  if (!events || !DoesMIDIIn()) return;
  const int32 count = events->getEventCount();
  const int lastFrame = std::max(nFrames - 1, 0);
  for (int32 i = 0; i < count; ++i) {
    Event e{};
    if (events->getEvent(i, e) != kResultOk) continue;
    const int offset = std::clamp<int32>(e.sampleOffset, 0, lastFrame);
    IMidiMsg msg;
    switch (e.type) {
      case Event::kNoteOnEvent:
        // A note-on keeps at least velocity 1: velocity 0 would turn it into a note-off.
        msg.MakeNoteOnMsg(e.noteOn.pitch, std::max(To7Bit(e.noteOn.velocity), 1), offset, e.noteOn.channel);
        ProcessMidiMsg(msg);
        break;
      case Event::kNoteOffEvent:
        msg = IMidiMsg(offset, static_cast<std::uint8_t>(0x80 | (e.noteOff.channel & 0x0F)), Clamp7(e.noteOff.pitch),
                       Clamp7(To7Bit(e.noteOff.velocity)));
        ProcessMidiMsg(msg);
        break;
      case Event::kPolyPressureEvent:
        msg = IMidiMsg(offset, static_cast<std::uint8_t>(0xA0 | (e.polyPressure.channel & 0x0F)),
                       Clamp7(e.polyPressure.pitch), Clamp7(To7Bit(e.polyPressure.pressure)));
        ProcessMidiMsg(msg);
        break;
      case Event::kDataEvent:
        if (e.data.type == DataEvent::kMidiSysEx && e.data.bytes && e.data.size > 0 &&
            e.data.size <= static_cast<uint32>(SysExData::kMaxSize)) {
          SysExData sysex;
          sysex.mOffset = offset;
          sysex.mSize = static_cast<int>(e.data.size);
          std::memcpy(sysex.mData, e.data.bytes, e.data.size);
          ProcessSysEx(sysex);
        }
        break;
      default:
        break;
    }
  }
}

void IPlugVST3::ProcessAudio(ProcessData& data) {
  AudioBusBuffers& bus = data.outputs[0];
  const int nOut = MaxNChannels(iplug::kOutput);
  const int nFrames = data.numSamples;
  bus.silenceFlags = 0;
  if (nOut <= 0 || nOut > 2) return;
  if (data.symbolicSampleSize == kSample64) {
    double* out[2] = {nullptr, nullptr};
    for (int c = 0; c < nOut && c < bus.numChannels; ++c)
      out[c] = bus.channelBuffers64 ? bus.channelBuffers64[c] : nullptr;
    ProcessBuffers(static_cast<double**>(nullptr), out, nFrames);
    return;
  }
  // Rendered in slices of the block size given at set-up, so that no slice is larger than
  // the plug-in prepared for; channels the host left out render into a spare buffer.
  const int block = std::max(GetBlockSize(), 1);
  for (int done = 0; done < nFrames; done += block) {
    const int n = std::min(block, nFrames - done);
    sample* out[2] = {nullptr, nullptr};
    for (int c = 0; c < nOut; ++c) {
      sample* host = c < bus.numChannels && bus.channelBuffers32 ? bus.channelBuffers32[c] : nullptr;
      if (host) {
        out[c] = host + done;
      } else if (static_cast<int>(mSpareOutput.size()) >= n) {
        out[c] = mSpareOutput.data();
      } else {
        return;
      }
    }
    ProcessBlock(nullptr, out, n);
  }
}

// ---- IEditController --------------------------------------------------------------

tresult PLUGIN_API IPlugVST3::setComponentState(IBStream*) {
  // Component and controller are one object: setState already restored everything.
  return kResultOk;
}

ParamValue PLUGIN_API IPlugVST3::getParamNormalized(ParamID tag) {
  if (tag < static_cast<ParamID>(NParams())) return GetParam(static_cast<int>(tag))->GetNormalized();
  return EditControllerEx1::getParamNormalized(tag);
}

tresult PLUGIN_API IPlugVST3::setParamNormalized(ParamID tag, ParamValue value) {
  if (!std::isfinite(value)) return kInvalidArgument;
  value = std::clamp(value, 0.0, 1.0);
  Lock lock(InterfaceMutex());
  if (tag >= static_cast<ParamID>(NParams())) return EditControllerEx1::setParamNormalized(tag, value);
  const int idx = static_cast<int>(tag);
  if (Parameter* p = getParameterObject(tag)) p->setNormalized(value);
  GetParam(idx)->SetNormalized(value);
  OnParamChangeUI(idx, kHost);
  SendParameterValueFromDelegate(idx, value, true);
  return kResultOk;
}

// Not under the interface mutex: taking the handler asks it for its other interfaces, a
// call into the host. Only the notifier calls the handler.
tresult PLUGIN_API IPlugVST3::setComponentHandler(IComponentHandler* handler) {
  mHostNotifier.SetHandler(handler);
  return EditControllerEx1::setComponentHandler(handler);
}

tresult PLUGIN_API IPlugVST3::getMidiControllerAssignment(int32 busIndex, int16 channel,
                                                          CtrlNumber midiControllerNumber, ParamID& id) {
  if (!DoesMIDIIn() || busIndex != 0 || channel != 0) return kResultFalse;
  if (midiControllerNumber < 0 || midiControllerNumber >= kNumMIDICCParams) return kResultFalse;
  id = kMIDICCParamStartIdx + static_cast<ParamID>(midiControllerNumber);
  return kResultTrue;
}

}  // namespace iplug
