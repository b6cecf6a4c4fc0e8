#include "platform/audio_device.h"

#include <RtAudio.h>

#include "platform/jack_server.h"
#include "platform/pulse_output.h"

#include <atomic>
#include <chrono>
#include <map>
#include <thread>
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

// The JACK library's own lines for a server it cannot reach are not printed: the program
// says once, in its own words, what failed.
struct QuietJack {
  QuietJack() { QuietJackMessages(true); }
  ~QuietJack() { QuietJackMessages(false); }
  QuietJack(const QuietJack&) = delete;
  QuietJack& operator=(const QuietJack&) = delete;
};

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
    AudioDeviceInfo info;
    std::string serverName;  // PulseAudio: the server's name of the sink or source
  };
  std::map<unsigned, Listed> listed;
  // PulseAudio is played through its own interface, so that the stream's buffering
  // follows the period asked for.
  bool pulse = false;
  std::unique_ptr<PulseOutput> pulseStream;
  // The JACK server the open stream's client reached: the default server may have changed
  // since it was opened.
  std::string jackServer;
};

namespace {

// The rates offered on PulseAudio, which resamples to the device's own.
const std::vector<unsigned> kPulseRates = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 192000};

AudioDeviceInfo fromRtInfo(const RtAudio::DeviceInfo& info) {
  AudioDeviceInfo out;
  out.name = info.name;
  out.outputChannels = info.outputChannels;
  out.inputChannels = info.inputChannels;
  out.isDefaultOutput = info.isDefaultOutput;
  out.isDefaultInput = info.isDefaultInput;
  out.sampleRates = info.sampleRates;
  out.preferredSampleRate = info.preferredSampleRate;
  return out;
}

AudioDeviceInfo fromPulse(const PulseDevice& d) {
  AudioDeviceInfo out;
  out.name = d.description;
  (d.isSink ? out.outputChannels : out.inputChannels) = d.channels;
  (d.isSink ? out.isDefaultOutput : out.isDefaultInput) = d.isDefault;
  out.sampleRates = kPulseRates;
  out.preferredSampleRate = d.rate;
  return out;
}

}  // namespace

AudioBackend::AudioBackend(AudioApi api, AudioErrorCallback onError)
    : mOnError(std::move(onError)), mImpl(std::make_unique<Impl>()) {
  if (api == AudioApi::kPulseAudio) {
    mImpl->pulse = true;
    return;
  }
  const RtAudio::Api rtApi = api == AudioApi::kJack ? RtAudio::UNIX_JACK : RtAudio::LINUX_PULSE;
  std::vector<RtAudio::Api> compiled;
  RtAudio::getCompiledApi(compiled);
  bool found = false;
  for (RtAudio::Api a : compiled) found = found || a == rtApi;
  if (!found) return;
  QuietJack quiet;
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
  mLastError = message;
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
  if (mImpl->pulse) {
    std::vector<PulseDevice> devices;
    std::string error;
    if (!PulseOutput::ListDevices(devices, error)) {
      Fail(RtAudioError::DRIVER_ERROR, "PulseAudio: " + error);
      mLastError = error;
      return out;
    }
    std::map<std::string, unsigned> seen;
    for (unsigned i = 0; i < devices.size(); ++i) {
      const unsigned id = IdFor(devices[i].description, seen[devices[i].description]++);
      mImpl->listed[id] = {i, fromPulse(devices[i]), devices[i].name};
      out.push_back(id);
    }
    return out;
  }
  if (!mImpl->rt) return out;
  QuietJack quiet;
  try {
    const unsigned count = mImpl->rt->getDeviceCount();
    std::map<std::string, unsigned> seen;
    for (unsigned i = 0; i < count; ++i) {
      const RtAudio::DeviceInfo info = mImpl->rt->getDeviceInfo(i);
      const unsigned id = IdFor(info.name, seen[info.name]++);
      mImpl->listed[id] = {i, fromRtInfo(info), {}};
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
  unsigned index = 0;
  if ((!mImpl->rt && !mImpl->pulse) || !IndexOf(id, index)) return {};
  AudioDeviceInfo out = mImpl->listed.at(id).info;
  out.id = id;
  return out;
}

AudioError AudioBackend::OpenStream(const AudioStreamParameters* output, const AudioStreamParameters* input,
                                    unsigned sampleRate, unsigned* bufferFrames, AudioCallback callback, void* user) {
  if (mImpl->pulse) return OpenPulse(output, input, sampleRate, bufferFrames, callback, user);
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
    mImpl->jackServer = JackDefaultServerName();
    *bufferFrames = frames;
    return AudioError::kNone;
  }
  return Fail(lastType, lastError);
}

AudioError AudioBackend::OpenPulse(const AudioStreamParameters* output, const AudioStreamParameters* input,
                                   unsigned sampleRate, unsigned* bufferFrames, AudioCallback callback, void* user) {
  if (!output) return Fail(RtAudioError::INVALID_USE, "a stream needs an output device");
  if (input && input->nChannels > 0) return Fail(RtAudioError::INVALID_USE, "input streams are not supported");
  unsigned index = 0;
  if (!IndexOf(output->deviceId, index) || mImpl->listed.at(output->deviceId).info.outputChannels == 0)
    return Fail(RtAudioError::INVALID_DEVICE, "no such output device");
  CloseStream();
  auto stream = std::make_unique<PulseOutput>();
  std::string error;
  if (!stream->Open(mImpl->listed.at(output->deviceId).serverName, output->nChannels, sampleRate, *bufferFrames,
                    callback, user, error)) {
    Fail(RtAudioError::DRIVER_ERROR, "PulseAudio: " + error);
    mLastError = error;
    return AudioError::kDriverError;
  }
  mImpl->pulseStream = std::move(stream);
  return AudioError::kNone;
}

AudioError AudioBackend::StartStream() {
  if (mImpl->pulse) {
    std::string error;
    if (!mImpl->pulseStream) return Fail(RtAudioError::INVALID_USE, "no stream is open");
    return mImpl->pulseStream->Start(error) ? AudioError::kNone
                                            : Fail(RtAudioError::DRIVER_ERROR, "PulseAudio: " + error);
  }
  if (!mImpl->rt) return AudioError::kDriverError;
  try {
    mImpl->rt->startStream();
  } catch (const RtAudioError& e) {
    return Fail(e.getType(), e.getMessage());
  }
  return mImpl->rt->isStreamRunning() ? AudioError::kNone : AudioError::kSystemError;
}

bool AudioBackend::LeaveOrphanedStream() {
  // When the JACK server goes, the audio library closes the stream on a thread of its
  // own, and a stop or close from here at the same time can deadlock in the JACK library.
  // A stream still open once the server is gone is left to that thread: the library's
  // object is let go unreleased (it will not call back, having no server).
  if (!mImpl->rt || mImpl->pulse || !mImpl->rt->isStreamOpen() || JackServerRunning(mImpl->jackServer)) return false;
  (void)mImpl->rt.release();
  return true;
}

AudioError AudioBackend::AbortStream() {
  if (mImpl->pulseStream) mImpl->pulseStream->Stop(false, 0);
  if (!mImpl->rt || !mImpl->rt->isStreamRunning()) return AudioError::kNone;
  if (LeaveOrphanedStream()) return AudioError::kNone;
  try {
    mImpl->rt->abortStream();
  } catch (const RtAudioError& e) {
    return Fail(e.getType(), e.getMessage());
  }
  return AudioError::kNone;
}

AudioError AudioBackend::StopStreamAfterPlaying(int ms) {
  if (!mImpl->pulseStream) return AbortStream();
  mImpl->pulseStream->Stop(true, ms);
  return AudioError::kNone;
}

void AudioBackend::CloseStream() {
  mImpl->pulseStream.reset();
  if (!mImpl->rt || !mImpl->rt->isStreamOpen() || LeaveOrphanedStream()) return;
  try {
    mImpl->rt->closeStream();
  } catch (const RtAudioError& e) {
    Fail(e.getType(), e.getMessage());
  }
}

bool AudioBackend::IsStreamOpen() const {
  return mImpl->pulseStream ? mImpl->pulseStream->IsOpen() : mImpl->rt && mImpl->rt->isStreamOpen();
}
bool AudioBackend::IsStreamRunning() const {
  return mImpl->pulseStream ? mImpl->pulseStream->IsRunning() : mImpl->rt && mImpl->rt->isStreamRunning();
}
bool AudioBackend::StreamFailed(std::string* reason) const {
  return mImpl->pulseStream && mImpl->pulseStream->Failed(reason);
}
void AudioBackend::QuietLibraryMessages(bool quiet) { QuietJackMessages(quiet); }

bool AudioBackend::Available() const { return mImpl->pulse || mImpl->rt; }

}  // namespace platform
