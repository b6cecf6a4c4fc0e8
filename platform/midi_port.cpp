#include "platform/midi_port.h"

#include <RtMidi.h>

#include <atomic>
#include <vector>

namespace platform {

namespace {

// The sequencer first; where it is missing (no /dev/snd/seq) the library throws, and
// JACK MIDI is tried.
template <class T, class... Args>
std::unique_ptr<T> makeRtMidi(std::string& error, Args&&... args) {
  error.clear();
  for (RtMidi::Api api : {RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK}) {
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

struct MidiInput::Impl {
  std::unique_ptr<RtMidiIn> in;
  std::atomic<MidiInputCallback> callback{nullptr};
  std::atomic<void*> user{nullptr};
  std::atomic<bool> ignoreSysex{true}, ignoreTiming{true}, ignoreSensing{true};
};

MidiInput::MidiInput(std::unique_ptr<Impl> impl) : mImpl(std::move(impl)) {}
MidiInput::~MidiInput() {
  CancelCallback();
  ClosePort();
}

std::unique_ptr<MidiInput> MidiInput::Create(const std::string& clientName, unsigned queueSizeLimit,
                                             std::string& error) {
  auto impl = std::make_unique<Impl>();
  impl->in = makeRtMidi<RtMidiIn>(error, clientName, queueSizeLimit);
  if (!impl->in) return nullptr;
  return std::unique_ptr<MidiInput>(new MidiInput(std::move(impl)));
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
  try {
    mImpl->in->setCallback(
        [](double t, std::vector<unsigned char>* m, void* self) { Deliver(t, m, self); }, this);
  } catch (const RtMidiError&) {
  }
}

void MidiInput::CancelCallback() {
  if (!mImpl->callback.exchange(nullptr)) return;
  try {
    mImpl->in->cancelCallback();
  } catch (const RtMidiError&) {
  }
}

void MidiInput::IgnoreTypes(bool sysex, bool timing, bool sensing) {
  mImpl->ignoreSysex = sysex;
  mImpl->ignoreTiming = timing;
  mImpl->ignoreSensing = sensing;
  mImpl->in->ignoreTypes(sysex, timing, sensing);
}

unsigned MidiInput::GetPortCount() { return portCount(*mImpl->in); }
std::string MidiInput::GetPortName(unsigned port) { return portName(*mImpl->in, port); }
bool MidiInput::OpenPort(unsigned port, const std::string& name) { return openPort(*mImpl->in, port, name); }
void MidiInput::ClosePort() { closePort(*mImpl->in); }

struct MidiOutput::Impl {
  std::unique_ptr<RtMidiOut> out;
};

MidiOutput::MidiOutput(std::unique_ptr<Impl> impl) : mImpl(std::move(impl)) {}
MidiOutput::~MidiOutput() { ClosePort(); }

std::unique_ptr<MidiOutput> MidiOutput::Create(const std::string& clientName, std::string& error) {
  auto impl = std::make_unique<Impl>();
  impl->out = makeRtMidi<RtMidiOut>(error, clientName);
  if (!impl->out) return nullptr;
  return std::unique_ptr<MidiOutput>(new MidiOutput(std::move(impl)));
}

unsigned MidiOutput::GetPortCount() { return portCount(*mImpl->out); }
std::string MidiOutput::GetPortName(unsigned port) { return portName(*mImpl->out, port); }
bool MidiOutput::OpenPort(unsigned port, const std::string& name) { return openPort(*mImpl->out, port, name); }
void MidiOutput::ClosePort() { closePort(*mImpl->out); }

bool MidiOutput::SendMessage(const unsigned char* bytes, std::size_t size) {
  try {
    mImpl->out->sendMessage(bytes, size);
    return true;
  } catch (const RtMidiError&) {
    return false;
  }
}

}  // namespace platform
