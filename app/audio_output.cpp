// Audio output: the back end, its devices, the stream, and the audio callback that feeds
// the plug-in in 64-frame slices with a fade at the start and end of each stream.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "app/standalone_host.h"

namespace corva::app {

namespace {

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
  for (std::uint32_t id : audio->GetDeviceIds())
    if (displayName(audio->GetDeviceInfo(id).name) == name) return id;
  return std::nullopt;
}

std::string StandaloneHost::AudioDeviceName(std::uint32_t id) {
  return audio ? displayName(audio->GetDeviceInfo(id).name) : std::string();
}

platform::AudioDeviceInfo StandaloneHost::AudioDeviceInfo(std::uint32_t id) {
  return audio ? audio->GetDeviceInfo(id) : platform::AudioDeviceInfo{};
}

bool StandaloneHost::AudioRunning() const { return audio && audio->IsStreamRunning(); }

bool StandaloneHost::ApplyAudioSettings() {
  if (NoDevices()) return true;
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
  // A stream that cannot start is reported like a missing device: the program runs silent.
  if (!started) ShowMessage("Please check the audio settings", "Error");
  return started;
}

bool StandaloneHost::StartAudioStream(std::optional<std::uint32_t> inputId, std::uint32_t outputId,
                                      std::uint32_t rate, std::uint32_t frames) {
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
  plug->SetSampleRate(sampleRate);
  plug->OnReset();
}

void StandaloneHost::StopAudioStream() {
  if (!audio || !audio->IsStreamOpen()) return;
  if (audio->IsStreamRunning()) {
    audioEnding.store(true);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopWaitMs);
    while (!audioDone.load() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    audio->AbortStream();
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
          out[static_cast<std::size_t>(c) * frames + i] = self->mSliceOut[static_cast<std::size_t>(c)][self->sliceIndex];
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
  std::fprintf(stderr, "\nerrorCallback: %s\n\n", message.c_str());
}

}  // namespace corva::app
