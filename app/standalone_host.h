#pragma once
// The standalone program's host: it owns the one plug-in instance, the audio back end
// and the MIDI ports, keeps the settings, and feeds the plug-in from the audio callback
// in 64-frame blocks.
//
// Threads: everything here runs on the main thread except AudioCallback (the back end's
// audio thread) and MidiInputCallback (the MIDI library's thread). Those two share with
// the main thread only the atomic flags and the plug-in's lock-free queues.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/host_settings.h"
#include "framework/iplug_app.h"
#include "platform/audio_device.h"
#include "platform/midi_port.h"

namespace corva::app {

class StandaloneHost {
 public:
  static constexpr int kSliceFrames = 64;
  static constexpr int kMaxChannels = 8;

  // Makes the host and its plug-in and makes it the process's one host, destroying the
  // one there was.
  static StandaloneHost* Create();
  // The process's host, or null.
  static StandaloneHost* Get();
  // Takes the process's host out and destroys it (shut-down sequence).
  static void Destroy();

  ~StandaloneHost();
  StandaloneHost(const StandaloneHost&) = delete;
  StandaloneHost& operator=(const StandaloneHost&) = delete;

  // Settings, devices, MIDI ports, and the plug-in's reset. False only when the settings
  // cannot be loaded, which does not happen.
  bool Init();

  // Settings file.
  bool LoadSettings();
  void SaveSettings();

  // Audio.
  bool CreateAudioDriver();
  void ScanAudioDevices();
  std::optional<std::uint32_t> FindAudioDevice(const std::string& displayName);
  std::string AudioDeviceName(std::uint32_t id);
  platform::AudioDeviceInfo AudioDeviceInfo(std::uint32_t id);
  bool ApplyAudioSettings();
  bool StartAudioStream(std::optional<std::uint32_t> inputId, std::uint32_t outputId, std::uint32_t sampleRate,
                        std::uint32_t bufferSize);
  void StopAudioStream();
  // Readies the callback for a new stream at `rate`: counters and flags cleared, the
  // plug-in set to 64-frame blocks at that rate and reset. The stream must not run.
  void PrepareCallback(std::uint32_t rate);
  static int AudioCallback(void* output, void* input, unsigned frames, double streamTime, unsigned status, void* user);
  void OnAudioError(platform::AudioError type, const std::string& message);
  bool AudioRunning() const;
  // Main thread, every few hundred milliseconds: notices a stream that the server ended
  // (it went away), stops it and says so once, then tries every kReopenIntervalMs to
  // open the stream the settings describe again, quietly, until it runs.
  void WatchAudio();
  // True while the stream is lost and reopening is being tried.
  bool AudioLost() const { return mAudioLost; }
  // While set (the Preferences dialog is open), WatchAudio does nothing.
  bool audioWatchPaused = false;
  // "PulseAudio" or "JACK", and where its server is, for messages.
  std::string DriverDescription() const;

  // MIDI.
  bool CreateMidiPorts();
  void ScanMidiPorts();
  int FindMidiPort(int direction, const std::string& name);
  bool SelectMidiPort(int direction, const std::string& name);
  static void MidiInputCallback(double timeStamp, const unsigned char* bytes, std::size_t size, void* user);

  // True when the space bar should play the trigger; the option takes effect at once.
  bool SpaceTriggerEnabled() const { return state.spaceTrigger != 0; }
  void SetSpaceTrigger(bool on);

  // Shows a message with an OK button: through the window's message box once the window
  // sets it, else on standard error.
  void ShowMessage(const char* text, const char* title);
  std::function<void(const char* text, const char* title)> messageBox;

  iplug::IPlugAPP* Plug() { return plug.get(); }

  // Fields, in the order of the host's data model.
  std::unique_ptr<iplug::IPlugAPP> plug;
  std::unique_ptr<platform::AudioBackend> audio;
  std::unique_ptr<platform::MidiInput> midiIn;
  std::unique_ptr<platform::MidiOutput> midiOut;
  HostSettings state;
  HostSettings tempState;
  HostSettings activeState;
  double sampleRate = 44100.0;
  std::uint32_t samplesElapsed = 0;
  std::uint32_t vectorWait = 0;
  std::uint32_t bufferSize = 512;
  std::uint32_t sliceIndex = 0;
  std::atomic<bool> exiting{false};
  std::atomic<bool> audioEnding{false};
  std::atomic<bool> audioDone{false};
  bool noIo = false;
  std::optional<std::uint32_t> defaultInputDevice;
  std::optional<std::uint32_t> defaultOutputDevice;
  std::string settingsPath;
  std::string screenshotPath;
  std::vector<std::uint32_t> inputDeviceIds;
  std::vector<std::uint32_t> outputDeviceIds;
  std::vector<std::string> midiInputNames;
  std::vector<std::string> midiOutputNames;
  std::vector<double*> inputChannelPointers;
  std::vector<double*> outputChannelPointers;

  // How long a stop waits for the audio callback to play its faded last buffer before
  // stopping the stream regardless (a device that stopped calling back never answers).
  static constexpr int kStopWaitMs = 500;
  static constexpr int kReopenIntervalMs = 3000;

 private:
  StandaloneHost();
  bool NoDevices() const { return noIo || !screenshotPath.empty(); }
  bool ApplyAudioSettings(bool quiet);
  // Why the stream the settings describe cannot run, for the message.
  std::string AudioFailure(const std::optional<std::uint32_t>& outputId) const;
  // The stream that was started is no longer running, though no one stopped it.
  bool StreamEnded() const;
  void RenderSlice(const double* input, unsigned frames, unsigned at);

  // Each 64-frame slice is rendered here and copied out, so that device buffers of any
  // length are served without touching memory outside them.
  std::array<std::array<double, kSliceFrames>, kMaxChannels> mSliceIn{};
  std::array<std::array<double, kSliceFrames>, kMaxChannels> mSliceOut{};
  int mInputs = 0;
  int mOutputs = 0;
  // Stream supervision, main thread only.
  bool mAudioWanted = false;    // the settings' stream was asked for
  bool mStreamStarted = false;  // a stream was started and not stopped by us
  bool mAudioLost = false;
  std::atomic<bool> mQuietErrors{false};  // read by OnAudioError on any thread
  std::int64_t mNextReopenMs = 0;
};

// Fades one non-interleaved buffer of `channels` x `frames` doubles in or out linearly.
void ApplyFade(double* buffer, int channels, unsigned frames, bool fadeOut);

}  // namespace corva::app
