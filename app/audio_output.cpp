// Audio output: the back end, its devices, the stream, and the audio callback that feeds
// the plug-in in 64-frame slices with a fade at the start and end of each stream.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "app/standalone_host.h"

namespace corva::app {

namespace {

std::int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string displayName(const std::string& name) {
  const std::size_t colon = name.find(':');
  return colon == std::string::npos ? name : name.substr(colon + 1);
}

}  // namespace

void ApplyFade(double* buffer, int channels, unsigned frames, bool fadeOut) {
  if (!buffer || frames == 0) return;
  const double n = frames;
  for (int c = 0; c < channels; ++c) {
    double* ch = buffer + static_cast<std::size_t>(c) * frames;
    for (unsigned i = 0; i < frames; ++i) ch[i] *= fadeOut ? (n - 1.0 - i) / n : i / n;
  }
}

bool StandaloneHost::CreateAudioDriver() {
  StopAudioStream();
  audio.reset();
  if (NoDevices()) return true;
  if (state.driver > 1) return false;
  audio = std::make_unique<platform::AudioBackend>(
      state.driver == 1 ? platform::AudioApi::kJack : platform::AudioApi::kPulseAudio,
      [this](platform::AudioError type, const std::string& message) { OnAudioError(type, message); });
  return true;
}

void StandaloneHost::ScanAudioDevices() {
  inputDeviceIds.clear();
  outputDeviceIds.clear();
  if (!audio) return;
  for (std::uint32_t id : audio->GetDeviceIds()) {
    const platform::AudioDeviceInfo info = audio->GetDeviceInfo(id);
    if (info.inputChannels > 0) inputDeviceIds.push_back(id);
    if (info.outputChannels > 0) outputDeviceIds.push_back(id);
    if (info.isDefaultInput) defaultInputDevice = id;
    if (info.isDefaultOutput) defaultOutputDevice = id;
  }
}

std::optional<std::uint32_t> StandaloneHost::FindAudioDevice(const std::string& name) {
  if (!audio) return std::nullopt;
  const std::vector<std::uint32_t> ids = audio->GetDeviceIds();
  std::vector<std::string> names;
  for (std::uint32_t id : ids) names.push_back(displayName(audio->GetDeviceInfo(id).name));
  const int found = FindStoredName(names, name);
  if (found < 0) return std::nullopt;
  return ids[static_cast<std::size_t>(found)];
}

std::string StandaloneHost::AudioDeviceName(std::uint32_t id) {
  return audio ? displayName(audio->GetDeviceInfo(id).name) : std::string();
}

platform::AudioDeviceInfo StandaloneHost::AudioDeviceInfo(std::uint32_t id) {
  return audio ? audio->GetDeviceInfo(id) : platform::AudioDeviceInfo{};
}

bool StandaloneHost::AudioRunning() const { return audio && audio->IsStreamRunning(); }

bool StandaloneHost::ApplyAudioSettings() { return ApplyAudioSettings(false); }

bool StandaloneHost::ApplyAudioSettings(bool quiet) {
  if (NoDevices()) return true;
  mAudioWanted = true;
  mAudioLost = false;
  bool reset = false;
  bool failed = false;

  // An instrument without inputs needs no input device: it is looked for only when the
  // plug-in has input channels, so a machine without one still plays.
  std::optional<std::uint32_t> inputId;
  if (mInputs > 0) {
    inputId = FindAudioDevice(state.driver == 1 ? state.audioOutDev : state.audioInDev);
    if (!inputId) {
      if (defaultInputDevice) {
        inputId = defaultInputDevice;
        reset = true;
        if (!inputDeviceIds.empty()) state.audioInDev = AudioDeviceName(*inputId);
      } else {
        failed = true;
      }
    }
  }
  std::optional<std::uint32_t> outputId = FindAudioDevice(state.audioOutDev);
  if (!outputId) {
    if (defaultOutputDevice && audio && !audio->GetDeviceInfo(*defaultOutputDevice).name.empty()) {
      outputId = defaultOutputDevice;
      reset = true;
      if (!outputDeviceIds.empty()) state.audioOutDev = AudioDeviceName(*outputId);
    } else {
      failed = true;
    }
  }

  // A rate the output device does not offer (JACK runs at its server's one rate) is
  // replaced by the device's preferred rate.
  if (outputId) {
    const platform::AudioDeviceInfo info = AudioDeviceInfo(*outputId);
    const auto& rates = info.sampleRates;
    if (!rates.empty() && std::find(rates.begin(), rates.end(), state.sampleRate) == rates.end()) {
      state.sampleRate = info.preferredSampleRate ? info.preferredSampleRate : rates.back();
      reset = true;
    }
  }

  if (reset) SaveSettings();
  bool started = false;
  if (!failed && outputId) started = StartAudioStream(inputId, *outputId, state.sampleRate, state.bufferSize);
  if (started) return true;
  // A stream that cannot start is reported like a missing device: the program runs silent.
  // Where the server itself is away (no device at all), opening is tried again later.
  mAudioLost = !audio || outputDeviceIds.empty();
  mNextReopenMs = nowMs() + kReopenIntervalMs;
  if (!quiet) {
    const std::string why = AudioFailure(outputId);
    ShowMessage(("Please check the audio settings\n\n" + why).c_str(), "Error");
  }
  return false;
}

std::string StandaloneHost::DriverDescription() const {
  if (state.driver == 1) {
    const char* name = std::getenv("JACK_DEFAULT_SERVER");
    return std::string("JACK (server \"") + (name && *name ? name : "default") + "\")";
  }
  const char* server = std::getenv("PULSE_SERVER");
  return server && *server ? std::string("PulseAudio (server ") + server + ")" : std::string("PulseAudio");
}

std::string StandaloneHost::AudioFailure(const std::optional<std::uint32_t>& outputId) const {
  const std::string driver = DriverDescription();
  if (state.driver > 1) return "the settings name no audio driver this program has";
  if (!audio || !audio->Available()) return driver + ": this program was built without it";
  if (outputDeviceIds.empty()) {
    const std::string& e = audio->LastError();
    return driver + ": " + (state.driver == 0 && !e.empty() ? e : "no server is running, or it has no output device");
  }
  if (!outputId) return driver + ": no output device named \"" + state.audioOutDev + "\" and no default device";
  return driver + ": the device \"" + state.audioOutDev + "\" did not play (" + audio->LastError() + ")";
}

bool StandaloneHost::StreamEnded() const {
  return mStreamStarted && audio && (audio->StreamFailed() || !audio->IsStreamRunning());
}

void StandaloneHost::WatchAudio() {
  if (NoDevices() || !mAudioWanted || audioWatchPaused) return;
  if (!mAudioLost) {
    if (!StreamEnded()) return;
    std::string reason;
    if (!audio->StreamFailed(&reason)) reason = "the server went away";
    StopAudioStream();
    mAudioLost = true;
    mNextReopenMs = nowMs() + kReopenIntervalMs;
    const std::string text = DriverDescription() + ": " + reason +
                             " while playing; opening the stream again is tried every " +
                             std::to_string(kReopenIntervalMs / 1000) + " seconds";
    ShowMessage(("Please check the audio settings\n\n" + text).c_str(), "Error");
    return;
  }
  if (nowMs() < mNextReopenMs) return;
  // The back end is made again: a JACK client of a server that went is of no further use.
  mQuietErrors = true;
  platform::AudioBackend::QuietLibraryMessages(true);
  CreateAudioDriver();
  ScanAudioDevices();
  const bool reopened = ApplyAudioSettings(true);
  platform::AudioBackend::QuietLibraryMessages(false);
  mQuietErrors = false;
  if (reopened) {
    std::fprintf(stderr, "Corva: audio plays again through %s\n", DriverDescription().c_str());
  } else {
    mAudioLost = true;
    mNextReopenMs = nowMs() + kReopenIntervalMs;
  }
}

bool StandaloneHost::StartAudioStream(std::optional<std::uint32_t> inputId, std::uint32_t outputId, std::uint32_t rate,
                                      std::uint32_t frames) {
  if (!audio) return false;
  if (audio->IsStreamOpen()) StopAudioStream();

  platform::AudioStreamParameters out{outputId, static_cast<unsigned>(mOutputs), 0};
  platform::AudioStreamParameters in{inputId.value_or(0), static_cast<unsigned>(mInputs), 0};
  const bool withInput = mInputs > 0 && inputId;

  bufferSize = frames;
  PrepareCallback(rate);

  unsigned granted = bufferSize;
  if (audio->OpenStream(&out, withInput ? &in : nullptr, rate, &granted, &StandaloneHost::AudioCallback, this) !=
      platform::AudioError::kNone)
    return false;
  bufferSize = granted;

  if (audio->StartStream() != platform::AudioError::kNone) {
    audio->CloseStream();
    return false;
  }
  activeState = state;
  mStreamStarted = true;
  return true;
}

void StandaloneHost::PrepareCallback(std::uint32_t rate) {
  sliceIndex = 0;
  samplesElapsed = 0;
  vectorWait = 0;
  sampleRate = rate;
  audioEnding.store(false);
  audioDone.store(false);
  std::lock_guard<std::recursive_mutex> lock(plug->InterfaceMutex());
  plug->SetBlockSize(kSliceFrames);
  (void)plug->SetSampleRate(sampleRate);  // an open device runs at a finite, positive rate
  plug->OnReset();
}

void StandaloneHost::StopAudioStream() {
  if (!audio) return;
  const bool ended = StreamEnded();
  mStreamStarted = false;
  // A JACK stream whose server went is being closed by the audio library's own thread:
  // it is left to finish before the stream is touched.
  if (ended && !audio->StreamFailed()) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopWaitMs);
    while (audio->IsStreamOpen() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!audio->IsStreamOpen()) return;
  if (audio->IsStreamRunning()) {
    // The callback plays one faded buffer and then silence; what the server still holds
    // of the sound plays out before the stream closes, all within the stop's time.
    audioEnding.store(true);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopWaitMs);
    while (!audioDone.load() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                            std::chrono::steady_clock::now());
    if (audioDone.load() && left.count() > 0) {
      audio->StopStreamAfterPlaying(static_cast<int>(left.count()));
    } else {
      // No callback came: the server may have just gone, and the audio library's own
      // thread be closing the stream. It gets a moment to finish before the stream is
      // stopped from here.
      const auto closing = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopWaitMs);
      while (audio->IsStreamOpen() && std::chrono::steady_clock::now() < closing)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (!audio->IsStreamOpen()) return;
      audio->AbortStream();
    }
  }
  audio->CloseStream();
}

void StandaloneHost::RenderSlice(const double* input, unsigned frames, unsigned at) {
  // Input for the slice is what the device buffer holds from here on; frames past its end
  // are silence.
  for (int c = 0; c < mInputs; ++c) {
    auto& slice = mSliceIn[static_cast<std::size_t>(c)];
    for (unsigned k = 0; k < kSliceFrames; ++k)
      slice[k] = input && at + k < frames ? input[static_cast<std::size_t>(c) * frames + at + k] : 0.0;
  }
  plug->AppProcess(mInputs > 0 ? inputChannelPointers.data() : nullptr,
                   mOutputs > 0 ? outputChannelPointers.data() : nullptr, kSliceFrames);
  samplesElapsed += kSliceFrames;
}

int StandaloneHost::AudioCallback(void* output, void* input, unsigned frames, double, unsigned, void* user) {
  auto* self = static_cast<StandaloneHost*>(user);
  auto* out = static_cast<double*>(output);
  auto* in = static_cast<double*>(input);
  const bool ending = self->audioEnding.load();
  const bool fade = self->vectorWait == 0 || ending;

  if (self->audioDone.load()) {
    if (out) std::memset(out, 0, sizeof(double) * frames * static_cast<std::size_t>(self->mOutputs));
  } else {
    if (fade && in) ApplyFade(in, self->mInputs, frames, ending);
    for (unsigned i = 0; i < frames; ++i) {
      self->sliceIndex %= kSliceFrames;
      if (self->sliceIndex == 0) self->RenderSlice(in, frames, i);
      if (out) {
        for (int c = 0; c < self->mOutputs; ++c)
          out[static_cast<std::size_t>(c) * frames + i] =
              self->mSliceOut[static_cast<std::size_t>(c)][self->sliceIndex];
      }
      ++self->sliceIndex;
    }
    if (fade) ApplyFade(out, self->mOutputs, frames, ending);
    if (ending) self->audioDone.store(true);
  }
  self->vectorWait = std::min<std::uint32_t>(self->vectorWait + 1, 1);
  return 0;
}

void StandaloneHost::OnAudioError(platform::AudioError, const std::string& message) {
  // The attempts to reopen a lost stream fail quietly until one succeeds.
  if (mQuietErrors) return;
  std::fprintf(stderr, "\nerrorCallback: %s\n\n", message.c_str());
}

}  // namespace corva::app
