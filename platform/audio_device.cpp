#include "platform/audio_device.h"

#include <RtAudio.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <map>
#include <utility>

namespace platform {

namespace {

AudioError fromRt(RtAudioError::Type type) {
  switch (type) {
    case RtAudioError::WARNING:
    case RtAudioError::DEBUG_WARNING:
      return AudioError::kWarning;
    case RtAudioError::INVALID_USE:
    case RtAudioError::INVALID_PARAMETER:
    case RtAudioError::INVALID_DEVICE:
    case RtAudioError::NO_DEVICES_FOUND:
      return AudioError::kInvalidUse;
    case RtAudioError::DRIVER_ERROR:
    case RtAudioError::MEMORY_ERROR:
      return AudioError::kDriverError;
    case RtAudioError::SYSTEM_ERROR:
    case RtAudioError::THREAD_ERROR:
      return AudioError::kSystemError;
    default:
      return AudioError::kUnknown;
  }
}

// RtAudio's stream error function carries no user pointer, so errors of the running
// stream reach the error function of the back end that opened it through this one
// process-wide pointer.
std::atomic<const AudioErrorCallback*> gStreamErrors{nullptr};

void streamError(RtAudioError::Type type, const std::string& text) {
  const AudioErrorCallback* onError = gStreamErrors.load();
  if (onError && *onError) (*onError)(fromRt(type), text);
}

}  // namespace

struct AudioBackend::Impl {
  std::unique_ptr<RtAudio> rt;
  // Device ids: one per (name, n-th device of that name), assigned when first seen.
  std::map<std::pair<std::string, unsigned>, unsigned> ids;
  unsigned nextId = 1;
  // For each id seen at the last listing: its index in the back end's list then, and the
  // description the listing read (probing a device again costs a JACK client each time).
  struct Listed {
    unsigned index;
    RtAudio::DeviceInfo info;
  };
  std::map<unsigned, Listed> listed;
};

AudioBackend::AudioBackend(AudioApi api, AudioErrorCallback onError)
    : mOnError(std::move(onError)), mImpl(std::make_unique<Impl>()) {
  const RtAudio::Api rtApi = api == AudioApi::kJack ? RtAudio::UNIX_JACK : RtAudio::LINUX_PULSE;
  std::vector<RtAudio::Api> compiled;
  RtAudio::getCompiledApi(compiled);
  bool found = false;
  for (RtAudio::Api a : compiled) found = found || a == rtApi;
  if (!found) return;
  try {
    mImpl->rt = std::make_unique<RtAudio>(rtApi);
    mImpl->rt->showWarnings(false);
  } catch (const RtAudioError& e) {
    mImpl->rt.reset();
    Fail(e.getType(), e.getMessage());
  }
}

AudioBackend::~AudioBackend() {
  CloseStream();
  const AudioErrorCallback* own = &mOnError;
  gStreamErrors.compare_exchange_strong(own, nullptr);
}

AudioError AudioBackend::Fail(int rtType, const std::string& message) {
  const AudioError e = fromRt(static_cast<RtAudioError::Type>(rtType));
  if (mOnError) mOnError(e, message);
  return e;
}

unsigned AudioBackend::IdFor(const std::string& name, unsigned occurrence) {
  auto [it, added] = mImpl->ids.try_emplace({name, occurrence}, mImpl->nextId);
  if (added) ++mImpl->nextId;
  return it->second;
}

std::vector<unsigned> AudioBackend::GetDeviceIds() {
  std::vector<unsigned> out;
  mImpl->listed.clear();
  if (!mImpl->rt) return out;
  try {
    const unsigned count = mImpl->rt->getDeviceCount();
    std::map<std::string, unsigned> seen;
    for (unsigned i = 0; i < count; ++i) {
      const RtAudio::DeviceInfo info = mImpl->rt->getDeviceInfo(i);
      const unsigned id = IdFor(info.name, seen[info.name]++);
      mImpl->listed[id] = {i, info};
      out.push_back(id);
    }
  } catch (const RtAudioError& e) {
    Fail(e.getType(), e.getMessage());
  }
  return out;
}

bool AudioBackend::IndexOf(unsigned id, unsigned& index) {
  if (mImpl->listed.empty()) (void)GetDeviceIds();
  auto it = mImpl->listed.find(id);
  if (it == mImpl->listed.end()) return false;
  index = it->second.index;
  return true;
}

AudioDeviceInfo AudioBackend::GetDeviceInfo(unsigned id) {
  AudioDeviceInfo out;
  unsigned index = 0;
  if (!mImpl->rt || !IndexOf(id, index)) return out;
  const RtAudio::DeviceInfo& info = mImpl->listed.at(id).info;
  out.id = id;
  out.name = info.name;
  out.outputChannels = info.outputChannels;
  out.inputChannels = info.inputChannels;
  out.isDefaultOutput = info.isDefaultOutput;
  out.isDefaultInput = info.isDefaultInput;
  out.sampleRates = info.sampleRates;
  out.preferredSampleRate = info.preferredSampleRate;
  return out;
}

AudioError AudioBackend::OpenStream(const AudioStreamParameters* output, const AudioStreamParameters* input,
                                    unsigned sampleRate, unsigned* bufferFrames, AudioCallback callback,
                                    void* user) {
  if (!mImpl->rt) return Fail(RtAudioError::DRIVER_ERROR, "the audio back end is not available");
  RtAudio::StreamOptions options;
  options.flags = RTAUDIO_NONINTERLEAVED;
  options.streamName = "Corva";
  // The back end counts its devices afresh when it opens a stream, and a JACK graph can
  // change in between (clients come and go, and counting itself opens a client that a
  // loaded server may refuse): a device that moved or was not counted is looked up again,
  // a few times, before the failure is reported.
  std::string lastError;
  RtAudioError::Type lastType = RtAudioError::INVALID_DEVICE;
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (attempt > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      (void)GetDeviceIds();
    }
    // The back end's parameters for `p`, its device at its index in the current list;
    // false when the device is not in the list.
    auto place = [&](const AudioStreamParameters& p, RtAudio::StreamParameters& rt, const char* missing) {
      if (!IndexOf(p.deviceId, rt.deviceId)) {
        lastType = RtAudioError::INVALID_DEVICE;
        lastError = missing;
        return false;
      }
      rt.nChannels = p.nChannels;
      rt.firstChannel = p.firstChannel;
      return true;
    };
    RtAudio::StreamParameters out, in;
    if (output && !place(*output, out, "no such output device")) continue;
    if (input && !place(*input, in, "no such input device")) continue;
    unsigned frames = *bufferFrames;
    try {
      gStreamErrors.store(&mOnError);
      mImpl->rt->openStream(output ? &out : nullptr, input ? &in : nullptr, RTAUDIO_FLOAT64, sampleRate, &frames,
                            reinterpret_cast<RtAudioCallback>(callback), user, &options, &streamError);
    } catch (const RtAudioError& e) {
      lastType = e.getType();
      lastError = e.getMessage();
      // Only a device the back end did not find is worth another look.
      if (lastType != RtAudioError::INVALID_USE && lastType != RtAudioError::INVALID_PARAMETER &&
          lastType != RtAudioError::INVALID_DEVICE)
        break;
      continue;
    }
    if (!mImpl->rt->isStreamOpen()) return AudioError::kSystemError;
    *bufferFrames = frames;
    return AudioError::kNone;
  }
  return Fail(lastType, lastError);
}

AudioError AudioBackend::StartStream() {
  if (!mImpl->rt) return AudioError::kDriverError;
  try {
    mImpl->rt->startStream();
  } catch (const RtAudioError& e) {
    return Fail(e.getType(), e.getMessage());
  }
  return mImpl->rt->isStreamRunning() ? AudioError::kNone : AudioError::kSystemError;
}

AudioError AudioBackend::AbortStream() {
  if (!mImpl->rt || !mImpl->rt->isStreamRunning()) return AudioError::kNone;
  try {
    mImpl->rt->abortStream();
  } catch (const RtAudioError& e) {
    return Fail(e.getType(), e.getMessage());
  }
  return AudioError::kNone;
}

void AudioBackend::CloseStream() {
  if (!mImpl->rt || !mImpl->rt->isStreamOpen()) return;
  try {
    mImpl->rt->closeStream();
  } catch (const RtAudioError& e) {
    Fail(e.getType(), e.getMessage());
  }
}

bool AudioBackend::IsStreamOpen() const { return mImpl->rt && mImpl->rt->isStreamOpen(); }
bool AudioBackend::IsStreamRunning() const { return mImpl->rt && mImpl->rt->isStreamRunning(); }

}  // namespace platform
