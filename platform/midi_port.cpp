#include "platform/midi_port.h"

#include <RtMidi.h>

#include "platform/jack_server.h"

#include <unistd.h>

#include <atomic>
#include <vector>

namespace platform {

namespace {

// The sequencer where the system has one (/dev/snd/seq), else JACK MIDI. The sequencer is
// looked for before the library is asked, since the library and the sound library print
// several lines each when it is missing.
std::vector<RtMidi::Api> apisToTry() {
  std::vector<RtMidi::Api> apis;
  if (::access("/dev/snd/seq", R_OK | W_OK) == 0) apis.push_back(RtMidi::LINUX_ALSA);
  apis.push_back(RtMidi::UNIX_JACK);
  return apis;
}

template <class T, class... Args>
std::unique_ptr<T> makeRtMidi(std::string& error, Args&&... args) {
  error.clear();
  for (RtMidi::Api api : apisToTry()) {
    // Without a server a JACK client only prints its failure; one that cannot be had is
    // not made.
    if (api == RtMidi::UNIX_JACK && !JackServerRunning()) {
      if (error.empty()) error = "MIDI is off: there is no ALSA sequencer (/dev/snd/seq) and no JACK server";
      continue;
    }
    try {
      auto port = std::make_unique<T>(api, args...);
      if (port->getCurrentApi() == api) return port;
    } catch (const RtMidiError& e) {
      error = e.getMessage();
    }
  }
  if (error.empty()) error = "no MIDI system is available";
  return nullptr;
}

bool isTiming(unsigned char status) { return status == 0xF8 || status == 0xF1; }

// Port calls shared by input and output, with the library's errors turned into results.
unsigned portCount(RtMidi& midi) {
  try {
    return midi.getPortCount();
  } catch (const RtMidiError&) {
    return 0;
  }
}

std::string portName(RtMidi& midi, unsigned port) {
  try {
    return midi.getPortName(port);
  } catch (const RtMidiError&) {
    return {};
  }
}

bool openPort(RtMidi& midi, unsigned port, const std::string& name) {
  try {
    midi.openPort(port, name);
    return midi.isPortOpen();
  } catch (const RtMidiError&) {
    return false;
  }
}

void closePort(RtMidi& midi) {
  try {
    midi.closePort();
  } catch (const RtMidiError&) {
  }
}

}  // namespace

// Each object holds a client of the MIDI system only while it needs one: from a listing
// or a port look-up until the next port choice, and while a port is open. A JACK MIDI
// client takes part in every period of the server, so one that no port needs is closed.
struct MidiInput::Impl {
  std::string clientName;
  unsigned queueSizeLimit = 100;
  std::unique_ptr<RtMidiIn> in;
  bool portOpen = false;
  std::atomic<MidiInputCallback> callback{nullptr};
  std::atomic<void*> user{nullptr};
  std::atomic<bool> ignoreSysex{true}, ignoreTiming{true}, ignoreSensing{true};
  MidiInput* owner = nullptr;

  RtMidiIn* Client(std::string& error) {
    if (!in) {
      in = makeRtMidi<RtMidiIn>(error, clientName, queueSizeLimit);
      if (!in) return nullptr;
      in->ignoreTypes(ignoreSysex, ignoreTiming, ignoreSensing);
      try {
        in->setCallback([](double t, std::vector<unsigned char>* m, void* self) { Deliver(t, m, self); }, owner);
      } catch (const RtMidiError&) {
      }
    }
    return in.get();
  }
  RtMidiIn* Client() {
    std::string ignored;
    return Client(ignored);
  }
};

MidiInput::MidiInput(std::unique_ptr<Impl> impl) : mImpl(std::move(impl)) { mImpl->owner = this; }
MidiInput::~MidiInput() {
  CancelCallback();
  ClosePort();
}

std::unique_ptr<MidiInput> MidiInput::Create(const std::string& clientName, unsigned queueSizeLimit,
                                             std::string& error) {
  auto impl = std::make_unique<Impl>();
  impl->clientName = clientName;
  impl->queueSizeLimit = queueSizeLimit;
  std::unique_ptr<MidiInput> made(new MidiInput(std::move(impl)));
  // The client made here serves the listing that follows.
  if (!made->mImpl->Client(error)) return nullptr;
  return made;
}

void MidiInput::Deliver(double timeStamp, void* message, void* self) {
  auto* impl = static_cast<MidiInput*>(self)->mImpl.get();
  const auto* bytes = static_cast<std::vector<unsigned char>*>(message);
  // The filter is applied here as well, since not every back end of the library applies
  // it to every kind of message.
  if (!bytes->empty()) {
    const unsigned char s = (*bytes)[0];
    if ((s == 0xF0 && impl->ignoreSysex) || (isTiming(s) && impl->ignoreTiming) || (s == 0xFE && impl->ignoreSensing))
      return;
  }
  const MidiInputCallback cb = impl->callback.load();
  if (cb) cb(timeStamp, bytes->data(), bytes->size(), impl->user.load());
}

void MidiInput::SetCallback(MidiInputCallback callback, void* user) {
  mImpl->user.store(user);
  mImpl->callback.store(callback);
}

void MidiInput::CancelCallback() {
  if (!mImpl->callback.exchange(nullptr) || !mImpl->in) return;
  try {
    mImpl->in->cancelCallback();
  } catch (const RtMidiError&) {
  }
}

void MidiInput::IgnoreTypes(bool sysex, bool timing, bool sensing) {
  mImpl->ignoreSysex = sysex;
  mImpl->ignoreTiming = timing;
  mImpl->ignoreSensing = sensing;
  if (mImpl->in) mImpl->in->ignoreTypes(sysex, timing, sensing);
}

unsigned MidiInput::GetPortCount() {
  RtMidiIn* in = mImpl->Client();
  return in ? portCount(*in) : 0;
}
std::string MidiInput::GetPortName(unsigned port) {
  RtMidiIn* in = mImpl->Client();
  return in ? portName(*in, port) : std::string();
}
bool MidiInput::OpenPort(unsigned port, const std::string& name) {
  RtMidiIn* in = mImpl->Client();
  mImpl->portOpen = in && openPort(*in, port, name);
  if (!mImpl->portOpen) mImpl->in.reset();
  return mImpl->portOpen;
}
void MidiInput::ClosePort() {
  if (mImpl->in) closePort(*mImpl->in);
  mImpl->portOpen = false;
  mImpl->in.reset();
}

struct MidiOutput::Impl {
  std::string clientName;
  std::unique_ptr<RtMidiOut> out;

  RtMidiOut* Client(std::string& error) {
    if (!out) out = makeRtMidi<RtMidiOut>(error, clientName);
    return out.get();
  }
  RtMidiOut* Client() {
    std::string ignored;
    return Client(ignored);
  }
};

MidiOutput::MidiOutput(std::unique_ptr<Impl> impl) : mImpl(std::move(impl)) {}
MidiOutput::~MidiOutput() { ClosePort(); }

std::unique_ptr<MidiOutput> MidiOutput::Create(const std::string& clientName, std::string& error) {
  auto impl = std::make_unique<Impl>();
  impl->clientName = clientName;
  if (!impl->Client(error)) return nullptr;
  return std::unique_ptr<MidiOutput>(new MidiOutput(std::move(impl)));
}

unsigned MidiOutput::GetPortCount() {
  RtMidiOut* out = mImpl->Client();
  return out ? portCount(*out) : 0;
}
std::string MidiOutput::GetPortName(unsigned port) {
  RtMidiOut* out = mImpl->Client();
  return out ? portName(*out, port) : std::string();
}
bool MidiOutput::OpenPort(unsigned port, const std::string& name) {
  RtMidiOut* out = mImpl->Client();
  const bool opened = out && openPort(*out, port, name);
  if (!opened) mImpl->out.reset();
  return opened;
}
void MidiOutput::ClosePort() {
  if (mImpl->out) closePort(*mImpl->out);
  mImpl->out.reset();
}

}  // namespace platform
