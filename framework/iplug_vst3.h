#pragma once
// The VST3 wrapper: one object that is the plug-in's component, audio processor and edit
// controller (and, with MIDI input, its MIDI mapping). A plug-in derives from it in the
// module build; the module's factory hands the host its audio-processor interface.
//
// Threads: the host's audio thread calls process() only; it takes no lock and allocates
// nothing. Every other entry point runs under the plug-in's interface mutex, as does the
// idle timer, which starts at the first initialize() and stops at the last terminate()
// or before the object is deleted.
//
// What the plug-in tells the host (edits, restarts) never goes out under that mutex: it
// is queued in HostNotifier() and delivered on the host's UI thread from a run loop the
// host offers (the one in its context, or an attached view's), else from the idle timer
// thread after each tick. A latency change that a host call causes (setting up
// processing, activating) is the exception: the host hears of it on its own thread as
// that call ends, once the mutex is released.
//
// setProcessing(false) may come on any thread, also while process() still runs: it only
// marks the audio state for a reset, which the next setActive or setupProcessing does.

#include <atomic>
#include <thread>
#include <vector>

#include "framework/config.h"
#include "framework/iplug_api_base.h"
#include "framework/iplug_processor.h"
#include "framework/vst3_host_notifier.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstmidicontrollers.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "public.sdk/source/vst/vsteditcontroller.h"

namespace iplug {

class IPlugVST3View;

class IPlugVST3 : public IPlugAPIBase,
                  public IPlugProcessor,
                  public Steinberg::Vst::EditControllerEx1,
                  public Steinberg::Vst::IComponent,
                  public Steinberg::Vst::IAudioProcessor,
                  public Steinberg::Vst::IProcessContextRequirements,
                  public Steinberg::Vst::IMidiMapping {
 public:
  // Hidden parameters that carry host MIDI controllers of channel 1 (128 controllers,
  // channel aftertouch, pitch bend) start at this ID.
  static constexpr Steinberg::Vst::ParamID kMIDICCParamStartIdx = 65538;
  static constexpr int kNumMIDICCParams = Steinberg::Vst::kCountCtrlNumber;  // 130

  IPlugVST3(const InstanceInfo& info, const Config& config);
  ~IPlugVST3() override;

  // Framework side.
  void SendParameterValueFromUI(int paramIdx, double normalizedValue) override;
  void BeginInformHostOfParamChange(int paramIdx) override;
  void InformHostOfParamChange(int paramIdx, double normalizedValue) override;
  void EndInformHostOfParamChange(int paramIdx) override;
  // Stores the latency; when it changed and the host gave a component handler, asks the
  // host to restart the component: at the end of the host call that caused it, or queued
  // like every notification when it arose on a thread of our own.
  void SetLatency(int samples) override;
  void AfterIdleTick() override;

  VST3HostNotifier& HostNotifier() { return mHostNotifier; }

  // FUnknown
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  Steinberg::uint32 PLUGIN_API addRef() override;
  Steinberg::uint32 PLUGIN_API release() override;

  // IPluginBase, for the component and the controller alike.
  Steinberg::tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override;
  Steinberg::tresult PLUGIN_API terminate() override;

  // IComponent
  Steinberg::tresult PLUGIN_API getControllerClassId(Steinberg::TUID classId) override;
  Steinberg::tresult PLUGIN_API setIoMode(Steinberg::Vst::IoMode mode) override;
  Steinberg::int32 PLUGIN_API getBusCount(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir) override;
  Steinberg::tresult PLUGIN_API getBusInfo(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir,
                                           Steinberg::int32 index, Steinberg::Vst::BusInfo& bus) override;
  Steinberg::tresult PLUGIN_API getRoutingInfo(Steinberg::Vst::RoutingInfo& inInfo,
                                               Steinberg::Vst::RoutingInfo& outInfo) override;
  Steinberg::tresult PLUGIN_API activateBus(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir,
                                            Steinberg::int32 index, Steinberg::TBool state) override;
  Steinberg::tresult PLUGIN_API setActive(Steinberg::TBool state) override;
  // The state is every parameter as a native-endian double in parameter order, then a
  // 32-bit bypass flag (always 0: an instrument has no bypass). One implementation
  // serves the component and the controller.
  Steinberg::tresult PLUGIN_API setState(Steinberg::IBStream* state) override;
  Steinberg::tresult PLUGIN_API getState(Steinberg::IBStream* state) override;

  // IAudioProcessor
  Steinberg::tresult PLUGIN_API setBusArrangements(Steinberg::Vst::SpeakerArrangement* inputs, Steinberg::int32 numIns,
                                                   Steinberg::Vst::SpeakerArrangement* outputs,
                                                   Steinberg::int32 numOuts) override;
  Steinberg::tresult PLUGIN_API getBusArrangement(Steinberg::Vst::BusDirection dir, Steinberg::int32 index,
                                                  Steinberg::Vst::SpeakerArrangement& arr) override;
  Steinberg::tresult PLUGIN_API canProcessSampleSize(Steinberg::int32 symbolicSampleSize) override;
  Steinberg::uint32 PLUGIN_API getLatencySamples() override;
  Steinberg::tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) override;
  Steinberg::tresult PLUGIN_API setProcessing(Steinberg::TBool state) override;
  Steinberg::tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) override;
  Steinberg::uint32 PLUGIN_API getTailSamples() override;

  // IProcessContextRequirements: what process() reads from the host's ProcessContext.
  // It reads nothing (tempo and transport are not used), so the answer is no flags; a
  // change that starts reading a field must add its flag here.
  static constexpr Steinberg::uint32 kProcessContextFlags = 0;
  Steinberg::uint32 PLUGIN_API getProcessContextRequirements() override { return kProcessContextFlags; }

  // IEditController
  Steinberg::tresult PLUGIN_API setComponentState(Steinberg::IBStream* state) override;
  Steinberg::Vst::ParamValue PLUGIN_API getParamNormalized(Steinberg::Vst::ParamID tag) override;
  Steinberg::tresult PLUGIN_API setParamNormalized(Steinberg::Vst::ParamID tag,
                                                   Steinberg::Vst::ParamValue value) override;
  Steinberg::tresult PLUGIN_API setComponentHandler(Steinberg::Vst::IComponentHandler* handler) override;

  // IMidiMapping: controllers of channel 1 on the event bus map to the hidden parameters.
  Steinberg::tresult PLUGIN_API getMidiControllerAssignment(Steinberg::int32 busIndex, Steinberg::int16 channel,
                                                            Steinberg::Vst::CtrlNumber midiControllerNumber,
                                                            Steinberg::Vst::ParamID& id) override;

  // The editor view (iplug_vst3_view.cpp): one at a time, for the X11 embedding.
  Steinberg::IPlugView* PLUGIN_API createView(Steinberg::FIDString name) override;
  // Tells the host's frame about a size the editor chose.
  void EditorResizeFromUI(int w, int h, bool needsPlatformResize) override;

  OBJ_METHODS(IPlugVST3, EditControllerEx1)

 private:
  friend class IPlugVST3View;
  IPlugVST3View* mView = nullptr;

  void AddParameters();
  void ProcessParameterChanges(Steinberg::Vst::IParameterChanges* changes, int nFrames);
  void ProcessEvents(Steinberg::Vst::IEventList* events, int nFrames);
  void ProcessAudio(Steinberg::Vst::ProcessData& data);
  // OnReset for a host call, under the interface mutex; a restart it asks for is sent on
  // the calling thread once the mutex is released.
  void ResetForHostCall();

  int mInitCount = 0;
  // The thread inside ResetForHostCall, and the restart flags its reset asked for.
  std::atomic<std::thread::id> mResettingThread{};
  Steinberg::int32 mRestartForCaller = 0;
  // Set by setProcessing(false): the audio state is reset before processing starts again.
  std::atomic<bool> mResetPending{false};
  VST3HostNotifier mHostNotifier;
  // The run loop the host context offers, attached from the first initialize to the last
  // terminate.
  Steinberg::IPtr<Steinberg::Linux::IRunLoop> mContextRunLoop;
  // Float buffers for output channels the host did not supply, one block each.
  std::vector<sample> mSpareOutput;
};

}  // namespace iplug
