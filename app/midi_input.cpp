// MIDI ports: one input whose messages go to the plug-in's queues, one output port.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/standalone_host.h"

namespace corva::app {

bool StandaloneHost::CreateMidiPorts() {
  if (NoDevices()) return true;
  std::string error;
  midiIn = platform::MidiInput::Create("RtMidi Input Client", 100, error);
  if (!midiIn) {
    std::fprintf(stderr, "Corva: %s\n", error.c_str());
    return false;
  }
  midiOut = platform::MidiOutput::Create("RtMidi Output Client", error);
  if (!midiOut) {
    std::fprintf(stderr, "Corva: %s\n", error.c_str());
    return false;
  }
  midiIn->SetCallback(&StandaloneHost::MidiInputCallback, this);
  // Timing messages only are ignored: system exclusive and active sensing come through.
  midiIn->IgnoreTypes(false, true, false);
  return true;
}

void StandaloneHost::ScanMidiPorts() {
  if (!midiIn || !midiOut) return;
  midiInputNames.push_back("off");
  for (unsigned i = 0, n = midiIn->GetPortCount(); i < n; ++i) midiInputNames.push_back(midiIn->GetPortName(i));
  midiOutputNames.push_back("off");
  for (unsigned i = 0, n = midiOut->GetPortCount(); i < n; ++i) midiOutputNames.push_back(midiOut->GetPortName(i));
}

int StandaloneHost::FindMidiPort(int direction, const std::string& name) {
  if (name == "off") return 0;
  const unsigned n = direction == 0 ? (midiIn ? midiIn->GetPortCount() : 0) : (midiOut ? midiOut->GetPortCount() : 0);
  std::vector<std::string> ports;
  for (unsigned i = 0; i < n; ++i) ports.push_back(direction == 0 ? midiIn->GetPortName(i) : midiOut->GetPortName(i));
  const int found = FindStoredName(ports, name);
  return found < 0 ? -1 : found + 1;
}

bool StandaloneHost::SelectMidiPort(int direction, const std::string& name) {
  if ((direction == 0 && !midiIn) || (direction != 0 && !midiOut)) return false;
  int port = FindMidiPort(direction, name);
  if (port < 0) {
    (direction == 0 ? state.midiInDev : state.midiOutDev) = "off";
    SaveSettings();
    port = 0;
  }
  if (direction == 0) {
    midiIn->ClosePort();
    // A port that does not open leaves the input closed, as "off" would.
    if (port > 0) (void)midiIn->OpenPort(static_cast<unsigned>(port - 1), "RtMidi Input");
  } else {
    midiOut->ClosePort();
    if (port > 0) (void)midiOut->OpenPort(static_cast<unsigned>(port - 1), "RtMidi Output");
  }
  return true;
}

void StandaloneHost::MidiInputCallback(double, const unsigned char* bytes, std::size_t size, void* user) {
  auto* self = static_cast<StandaloneHost*>(user);
  if (size == 0 || self->exiting.load()) return;
  iplug::IPlugAPP* plug = self->plug.get();
  if (size <= 3) {
    const iplug::IMidiMsg msg(0, bytes[0], size > 1 ? bytes[1] : 0, size > 2 ? bytes[2] : 0);
    (void)plug->mMidiMsgsFromCallback.Push(msg);  // a full queue drops it, unless it is a release
  } else if (size <= static_cast<std::size_t>(iplug::SysExData::kMaxSize)) {
    iplug::SysExData sysex;
    sysex.mOffset = 0;
    sysex.mSize = static_cast<int>(size);
    std::memcpy(sysex.mData, bytes, size);
    (void)plug->mSysExMsgsFromCallback.Push(sysex);
  }
}

}  // namespace corva::app
