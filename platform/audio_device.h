#pragma once
// Audio output through RtAudio, with the interface the host is written against: devices
// named by ids that stay the same while the back end lives, errors returned (never
// thrown) and reported to one error function, and 64-bit float streams.
//
// Back ends: PulseAudio and JACK. For JACK every client with audio ports is a device (its
// input ports are output channels for us), and the stream runs at the server's rate and
// period. PulseAudio is played through its own interface (pulse_output.h), so that the
// server buffers three periods of the size asked for, not its default of a good part of
// a second; its devices are the server's sinks and sources, named by their descriptions.

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum class AudioApi { kPulseAudio, kJack };

enum class AudioError {
  kNone,
  kWarning,
  kInvalidUse,   // asked for something the stream or device does not allow
  kDriverError,  // the back end or its server is not there
  kSystemError,  // the device refused
  kUnknown,
};

struct AudioDeviceInfo {
  unsigned id = 0;
  std::string name;
  unsigned outputChannels = 0;
  unsigned inputChannels = 0;
  bool isDefaultOutput = false;
  bool isDefaultInput = false;
  std::vector<unsigned> sampleRates;
  unsigned preferredSampleRate = 0;
};

struct AudioStreamParameters {
  unsigned deviceId = 0;
  unsigned nChannels = 0;
  unsigned firstChannel = 0;
};

// One device buffer: output and input hold `frames` 64-bit floats per channel, channel
// after channel. Runs on the back end's audio thread; return 0 to go on.
using AudioCallback = int (*)(void* output, void* input, unsigned frames, double streamTime, unsigned status,
                              void* user);
// An error of the back end or its stream, possibly on the audio thread.
using AudioErrorCallback = std::function<void(AudioError, const std::string&)>;

class AudioBackend {
 public:
  AudioBackend(AudioApi api, AudioErrorCallback onError);
  ~AudioBackend();
  AudioBackend(const AudioBackend&) = delete;
  AudioBackend& operator=(const AudioBackend&) = delete;

  // Asks the back end afresh; a device keeps its id for as long as this object lives.
  std::vector<unsigned> GetDeviceIds();
  // The device's description as the last listing read it; an unknown id gives an empty
  // name and no channels.
  AudioDeviceInfo GetDeviceInfo(unsigned id);

  // Opens a non-interleaved 64-bit float stream. `bufferFrames` asks for a period and
  // returns the one granted. Either parameter set may be null, not both.
  AudioError OpenStream(const AudioStreamParameters* output, const AudioStreamParameters* input, unsigned sampleRate,
                        unsigned* bufferFrames, AudioCallback callback, void* user);
  AudioError StartStream();
  // Stops at once, dropping what is queued.
  AudioError AbortStream();
  // Stops once what the server holds has played, waiting at most `ms` (PulseAudio); other
  // back ends keep no more than the period just played and stop at once.
  AudioError StopStreamAfterPlaying(int ms);
  void CloseStream();
  bool IsStreamOpen() const;
  bool IsStreamRunning() const;
  // True when the server ended an open stream by itself (PulseAudio); `reason` says how.
  bool StreamFailed(std::string* reason = nullptr) const;
  // False when the back end could not be made (the library lacks it).
  bool Available() const;
  // While set, the audio libraries print nothing of their own (repeated attempts to
  // reach a server that is away).
  static void QuietLibraryMessages(bool quiet);
  // The text of the last error reported (for PulseAudio without the driver's name).
  const std::string& LastError() const { return mLastError; }

 private:
  struct Impl;
  AudioError Fail(int rtType, const std::string& message);
  bool LeaveOrphanedStream();
  AudioError OpenPulse(const AudioStreamParameters* output, const AudioStreamParameters* input, unsigned sampleRate,
                       unsigned* bufferFrames, AudioCallback callback, void* user);
  unsigned IdFor(const std::string& name, unsigned occurrence);
  bool IndexOf(unsigned id, unsigned& index);

  AudioErrorCallback mOnError;
  std::string mLastError;
  std::unique_ptr<Impl> mImpl;
};

}  // namespace platform
