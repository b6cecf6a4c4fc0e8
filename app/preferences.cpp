#include "app/preferences.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "app/standalone_host.h"
#include "platform/form_dialog.h"

namespace corva::app {

namespace {

const char* const kDrivers[] = {"PulseAudio", "JACK"};

// Sets the input or output channel pair: `left` and the channel after it.
void setChannelPair(HostSettings& s, bool input, std::uint32_t left) {
  (input ? s.audioInChanL : s.audioOutChanL) = left;
  (input ? s.audioInChanR : s.audioOutChanR) = left + 1;
}

}  // namespace

void Preferences::Open() {
  mC.ComboClear(kPrefDriver);
  for (const char* d : kDrivers) mC.ComboAdd(kPrefDriver, d, 0);
  mC.ComboSelect(kPrefDriver, static_cast<int>(mHost.state.driver));
  FillAudioLists();
  FillMidiLists();
  mC.SetChecked(kPrefSpaceTrigger, mHost.state.spaceTrigger != 0);
  mHost.tempState = mHost.state;
}

void Preferences::FillChannels(int leftId, int rightId, unsigned n, unsigned left, unsigned right) {
  mC.ComboClear(leftId);
  mC.ComboClear(rightId);
  for (unsigned i = 1; i <= n; ++i) {
    if (i < n) mC.ComboAdd(leftId, std::to_string(i), 0);
    mC.ComboAdd(rightId, std::to_string(i), 0);
  }
  mC.ComboSelect(leftId, static_cast<int>(left) - 1);
  mC.ComboSelect(rightId, static_cast<int>(right) - 1);
}

void Preferences::FillDriverPart() {
  const HostSettings& s = mHost.state;
  const bool jack = s.driver == 1;
  // JACK serves input and output as one device, like a single-device driver; its
  // settings belong to the JACK server, so there is nothing for "Config..." to open.
  mC.SetEnabled(kPrefInputDevice, !jack);
  mC.SetEnabled(kPrefConfig, false);

  // Fills a device list; returns the index of the device named `current`, else 0.
  auto fillDevices = [&](int id, const std::vector<std::uint32_t>& ids, const std::string& current) {
    mC.ComboClear(id);
    std::vector<std::string> names;
    for (std::uint32_t device : ids) {
      names.push_back(mHost.AudioDeviceName(device));
      mC.ComboAdd(id, names.back(), 0);
    }
    return std::max(FindStoredName(names, current), 0);
  };
  const int inIndex = fillDevices(kPrefInputDevice, mHost.inputDeviceIds, s.audioInDev);
  const int outIndex = fillDevices(kPrefOutputDevice, mHost.outputDeviceIds, s.audioOutDev);
  mC.ComboSelect(kPrefInputDevice, jack ? outIndex : inIndex);
  mC.ComboSelect(kPrefOutputDevice, outIndex);

  const bool hasIn = !mHost.inputDeviceIds.empty();
  const bool hasOut = !mHost.outputDeviceIds.empty();
  platform::AudioDeviceInfo in, out;
  if (hasIn) {
    in = mHost.AudioDeviceInfo(mHost.inputDeviceIds[static_cast<std::size_t>(inIndex)]);
    FillChannels(kPrefInputLeft, kPrefInputRight, in.inputChannels, s.audioInChanL, s.audioInChanR);
  }
  if (hasOut) {
    out = mHost.AudioDeviceInfo(mHost.outputDeviceIds[static_cast<std::size_t>(outIndex)]);
    FillChannels(kPrefOutputLeft, kPrefOutputRight, out.outputChannels, s.audioOutChanL, s.audioOutChanR);
    // The rates both devices offer; the output device's own when there is no input
    // device, since the instrument needs none.
    mC.ComboClear(kPrefSampleRate);
    int selected = -1;
    for (unsigned rate : hasIn ? in.sampleRates : out.sampleRates) {
      if (hasIn && std::find(out.sampleRates.begin(), out.sampleRates.end(), rate) == out.sampleRates.end()) continue;
      if (rate == s.sampleRate) selected = mC.ComboCount(kPrefSampleRate);
      mC.ComboAdd(kPrefSampleRate, std::to_string(rate), static_cast<long>(rate));
    }
    mC.ComboSelect(kPrefSampleRate, selected);
  }
}

void Preferences::FillAudioLists() {
  FillDriverPart();
  FillBufferSizes();
}

void Preferences::FillBufferSizes() {
  // JACK runs at its server's period whatever is asked for: while its stream runs, the
  // list shows the period it really has (added to the list when it is not one of its
  // sizes).
  const bool jackRuns = mHost.state.driver == 1 && mHost.AudioRunning();
  const std::uint32_t shown = jackRuns ? mHost.bufferSize : mHost.state.bufferSize;
  mC.ComboClear(kPrefBufferSize);
  int selected = -1;
  for (std::uint32_t size : kBufferSizes) {
    if (size == shown) selected = mC.ComboCount(kPrefBufferSize);
    mC.ComboAdd(kPrefBufferSize, std::to_string(size), static_cast<long>(size));
  }
  if (selected < 0 && jackRuns) {
    selected = mC.ComboCount(kPrefBufferSize);
    mC.ComboAdd(kPrefBufferSize, std::to_string(shown), static_cast<long>(shown));
  }
  mC.ComboSelect(kPrefBufferSize, selected);
}

void Preferences::FillMidiLists() {
  if (!mHost.midiIn || !mHost.midiOut) return;
  auto fill = [&](int id, const std::vector<std::string>& names, std::string& current) {
    mC.ComboClear(id);
    for (const std::string& name : names) mC.ComboAdd(id, name, 0);
    // Port names match as when the ports are opened.
    int selected = FindStoredName(names, current);
    if (selected < 0) {
      current = "off";
      mHost.SaveSettings();
      selected = 0;
    }
    mC.ComboSelect(id, selected);
  };
  fill(kPrefMidiInput, mHost.midiInputNames, mHost.state.midiInDev);
  fill(kPrefMidiOutput, mHost.midiOutputNames, mHost.state.midiOutDev);
  for (int id : {kPrefMidiInChannel, kPrefMidiOutChannel}) {
    mC.ComboClear(id);
    mC.ComboAdd(id, "all", 0);
    for (int ch = 1; ch <= 16; ++ch) mC.ComboAdd(id, std::to_string(ch), 0);
  }
  mC.ComboSelect(kPrefMidiInChannel, static_cast<int>(mHost.state.midiInChan));
  mC.ComboSelect(kPrefMidiOutChannel, static_cast<int>(mHost.state.midiOutChan));
}

void Preferences::Command(int id) {
  HostSettings& s = mHost.state;
  const int sel = mC.ComboSelection(id);
  switch (id) {
    case kPrefDriver: {
      if (sel < 0 || static_cast<std::uint32_t>(sel) == s.driver) break;
      s.driver = static_cast<std::uint32_t>(sel);
      mHost.CreateAudioDriver();
      mHost.ScanAudioDevices();
      if (!mHost.inputDeviceIds.empty()) s.audioInDev = mHost.AudioDeviceName(mHost.inputDeviceIds.front());
      if (!mHost.outputDeviceIds.empty()) s.audioOutDev = mHost.AudioDeviceName(mHost.outputDeviceIds.front());
      setChannelPair(s, false, 1);
      FillAudioLists();
      break;
    }
    case kPrefInputDevice:
    case kPrefOutputDevice:
      if (sel < 0) break;
      (id == kPrefInputDevice ? s.audioInDev : s.audioOutDev) = mC.ComboText(id, sel);
      setChannelPair(s, id == kPrefInputDevice, 1);
      FillDriverPart();
      break;
    case kPrefBufferSize:
      if (sel >= 0 && mC.ComboData(id, sel) > 0) s.bufferSize = static_cast<std::uint32_t>(mC.ComboData(id, sel));
      break;
    case kPrefSampleRate:
      if (sel >= 0) s.sampleRate = static_cast<std::uint32_t>(mC.ComboData(id, sel));
      break;
    // The right channel follows the left one; a choice in a right list is undone.
    case kPrefInputLeft:
    case kPrefOutputLeft:
      if (sel < 0) break;
      setChannelPair(s, id == kPrefInputLeft, static_cast<std::uint32_t>(sel) + 1);
      mC.ComboSelect(id == kPrefInputLeft ? kPrefInputRight : kPrefOutputRight, sel + 1);
      break;
    case kPrefInputRight:
      mC.ComboSelect(id, static_cast<int>(s.audioInChanR) - 1);
      break;
    case kPrefOutputRight:
      mC.ComboSelect(id, static_cast<int>(s.audioOutChanR) - 1);
      break;
    case kPrefMidiInput:
    case kPrefMidiOutput: {
      if (sel < 0) break;
      const int direction = id == kPrefMidiInput ? 0 : 1;
      (direction == 0 ? s.midiInDev : s.midiOutDev) = mC.ComboText(id, sel);
      mHost.SelectMidiPort(direction, direction == 0 ? s.midiInDev : s.midiOutDev);
      break;
    }
    case kPrefMidiInChannel:
      if (sel >= 0) s.midiInChan = static_cast<std::uint32_t>(sel);
      break;
    case kPrefMidiOutChannel:
      if (sel >= 0) s.midiOutChan = static_cast<std::uint32_t>(sel);
      break;
    case kPrefApply:
      mHost.ApplyAudioSettings();
      FillBufferSizes();
      break;
    case kPrefSpaceTrigger:
      mHost.SetSpaceTrigger(mC.Checked(kPrefSpaceTrigger));
      break;
    // After OK or Cancel the stream the settings describe runs, whatever the dialog did
    // meanwhile (a driver change closes the stream even when a later one goes back).
    case kPrefOk:
      if (!SameSettings(s, mHost.activeState) || !mHost.AudioRunning()) mHost.ApplyAudioSettings();
      mC.End(1);
      break;
    case kPrefCancel: {
      mC.End(2);
      mHost.SetSpaceTrigger(mHost.tempState.spaceTrigger != 0);
      const bool midiChanged = !SameMidiSettings(s, mHost.tempState);
      if (!SameAudioSettings(s, mHost.tempState) || midiChanged || !mHost.AudioRunning()) {
        s = mHost.tempState;
        mHost.CreateAudioDriver();
        mHost.ScanAudioDevices();
        mHost.ApplyAudioSettings();
        // Ports opened while the dialog was open go back to the restored ones.
        if (midiChanged) {
          mHost.SelectMidiPort(0, s.midiInDev);
          mHost.SelectMidiPort(1, s.midiOutDev);
        }
      }
      break;
    }
    default:
      break;
  }
}

int RunPreferences(StandaloneHost& host, platform::MainWindow* owner) {
  platform::FormDialog d(owner, "Preferences", 223, 329);
  d.AddGroup("Audio Device Settings", 5, 10, 210, 170);
  d.AddLabel("Driver Type", 22, 25);
  d.AddCombo(kPrefDriver, 20, 35, 100);
  d.AddLabel("Input Device", 20, 55);
  d.AddCombo(kPrefInputDevice, 20, 65, 100);
  d.AddLabel("Output Device", 20, 85);
  d.AddCombo(kPrefOutputDevice, 20, 95, 100);
  d.AddLabel("Buffer Size", 137, 25);
  d.AddCombo(kPrefBufferSize, 135, 35, 65);
  d.AddLabel("Sampling Rate", 135, 85);
  d.AddCombo(kPrefSampleRate, 135, 95, 65);
  d.AddButton(kPrefConfig, "Config...", 135, 155, 65);
  d.AddLabel("Input 1 (L)", 20, 115);
  d.AddCombo(kPrefInputLeft, 20, 125, 40);
  d.AddLabel("Input 2 (R)", 65, 115);
  d.AddCombo(kPrefInputRight, 65, 126, 40);
  d.AddLabel("Output 1 (L)", 20, 145);
  d.AddCombo(kPrefOutputLeft, 20, 155, 40);
  d.AddLabel("Output 2 (R)", 65, 145);
  d.AddCombo(kPrefOutputRight, 65, 155, 40);
  d.AddGroup("MIDI Device Settings", 5, 190, 210, 105);
  d.AddLabel("Input Device", 15, 210);
  d.AddCombo(kPrefMidiInput, 15, 220, 100);
  d.AddLabel("Output Device", 15, 240);
  d.AddCombo(kPrefMidiOutput, 15, 250, 100);
  d.AddLabel("Input Channel", 125, 210);
  d.AddCombo(kPrefMidiInChannel, 125, 220, 50);
  d.AddLabel("Output Channel", 125, 240);
  d.AddCombo(kPrefMidiOutChannel, 125, 250, 50);
  d.AddCheck(kPrefSpaceTrigger, "Space bar plays TRIG", 15, 272);
  d.AddButton(kPrefApply, "Apply", 54, 305, 50);
  d.AddButton(kPrefOk, "OK", 110, 305, 50, true);
  d.AddButton(kPrefCancel, "Cancel", 166, 305, 50);

  Preferences prefs(host, d);
  // The dialog edits the settings the stream is reopened with: no reopening meanwhile.
  host.audioWatchPaused = true;
  prefs.Open();
  d.onCommand = [&](int id) { prefs.Command(id); };
  // Closing the dialog's window counts as Cancel.
  int result = d.RunModal(0);
  if (result == 0) {
    prefs.Command(kPrefCancel);
    result = 2;
  }
  host.audioWatchPaused = false;
  return result;
}

}  // namespace corva::app
