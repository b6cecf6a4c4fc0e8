#include "app/standalone_host.h"

#include <cstdio>
#include <mutex>

#include "plugin/corva_plug.h"

namespace corva::app {

namespace {
std::unique_ptr<StandaloneHost> gHost;
}

StandaloneHost::StandaloneHost() {
  iplug::InstanceInfo info;
  info.pAppHost = this;
  plug.reset(MakePlug(info));
  mInputs = std::min(plug->MaxNChannels(iplug::kInput), kMaxChannels);
  mOutputs = std::min(plug->MaxNChannels(iplug::kOutput), kMaxChannels);
  // The plug-in always renders into the host's own slice buffers.
  for (int c = 0; c < mInputs; ++c) inputChannelPointers.push_back(mSliceIn[static_cast<std::size_t>(c)].data());
  for (int c = 0; c < mOutputs; ++c) outputChannelPointers.push_back(mSliceOut[static_cast<std::size_t>(c)].data());
}

StandaloneHost* StandaloneHost::Create() {
  std::unique_ptr<StandaloneHost> host(new StandaloneHost());
  StandaloneHost* made = host.get();
  // The old host is destroyed after the new one is in place, as replacing it does.
  std::unique_ptr<StandaloneHost> old = std::move(gHost);
  gHost = std::move(host);
  old.reset();
  return made;
}

StandaloneHost* StandaloneHost::Get() { return gHost.get(); }

void StandaloneHost::Destroy() {
  std::unique_ptr<StandaloneHost> host = std::move(gHost);
  host.reset();
}

bool StandaloneHost::Init() {
  {
    std::lock_guard<std::recursive_mutex> lock(plug->InterfaceMutex());
    plug->SetHost("standalone", plug->GetPluginVersion(false));
  }
  if (!LoadSettings()) return false;
  CreateAudioDriver();
  ScanAudioDevices();
  CreateMidiPorts();
  ScanMidiPorts();
  SelectMidiPort(0, state.midiInDev);
  SelectMidiPort(1, state.midiOutDev);
  std::lock_guard<std::recursive_mutex> lock(plug->InterfaceMutex());
  plug->OnParamReset(iplug::kReset);
  return true;
}

StandaloneHost::~StandaloneHost() {
  exiting.store(true);
  StopAudioStream();
  if (midiIn) midiIn->CancelCallback();
  if (midiOut) midiOut->ClosePort();
  midiOut.reset();
  midiIn.reset();
  audio.reset();
  plug.reset();
}

void StandaloneHost::SetSpaceTrigger(bool on) {
  state.spaceTrigger = on ? 1 : 0;
  // The editor's key handler asks the plug-in whether Space plays the trigger.
  std::lock_guard<std::recursive_mutex> lock(plug->InterfaceMutex());
  static_cast<CorvaPlug*>(plug.get())->spaceTriggerEnabled = on;
}

void StandaloneHost::ShowMessage(const char* text, const char* title) {
  if (messageBox) {
    messageBox(text, title);
    return;
  }
  std::fprintf(stderr, "%s: %s\n", title, text);
}

}  // namespace corva::app
