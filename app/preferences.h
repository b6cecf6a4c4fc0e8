#pragma once
// The Preferences dialog: audio driver, devices, channels, buffer size and rate, MIDI
// ports and channels, and the space-bar option. MIDI port changes take effect at once;
// audio changes on Apply, on OK, or at once for a driver change; Cancel restores the
// settings the dialog opened with, and reopens their ports.

#include "platform/dialog_controls.h"

namespace platform {
class MainWindow;
}

namespace corva::app {

class StandaloneHost;

enum PreferencesControl {
  kPrefOk = 1,
  kPrefCancel = 2,
  kPrefDriver = 40009,
  kPrefInputDevice = 40010,
  kPrefOutputDevice = 40011,
  kPrefBufferSize = 40012,
  kPrefSampleRate = 40013,
  kPrefInputLeft = 40014,
  kPrefInputRight = 40015,
  kPrefOutputRight = 40016,
  kPrefOutputLeft = 40017,
  kPrefMidiInput = 40018,
  kPrefMidiOutput = 40019,
  kPrefMidiInChannel = 40020,
  kPrefMidiOutChannel = 40021,
  kPrefConfig = 40022,
  kPrefApply = 40024,
  kPrefSpaceTrigger = 40030,
};

// The dialog's behaviour on its controls.
class Preferences {
 public:
  Preferences(StandaloneHost& host, platform::DialogControls& controls) : mHost(host), mC(controls) {}
  // Fills every list from the host's settings and devices.
  void Open();
  // A user's choice, click or toggle on control `id`.
  void Command(int id);

  void FillAudioLists();
  void FillDriverPart();
  void FillMidiLists();
  void FillBufferSizes();

 private:
  void FillChannels(int leftId, int rightId, unsigned channels, unsigned left, unsigned right);
  StandaloneHost& mHost;
  platform::DialogControls& mC;
};

// Shows the dialog over `owner`; 1 for OK, 2 for Cancel.
int RunPreferences(StandaloneHost& host, platform::MainWindow* owner);

}  // namespace corva::app
