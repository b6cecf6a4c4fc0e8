#pragma once
// MIDI ports over RtMidi: the ALSA sequencer where the system has one, else JACK MIDI.
// Errors of the library come back as text instead of exceptions. An object keeps a client
// of the MIDI system only from a listing to the next port choice and while its port is
// open, so a direction set to "off" costs nothing (no JACK client running every period).

#include <cstddef>
#include <memory>
#include <string>

namespace platform {

// One incoming message, on the library's MIDI thread.
using MidiInputCallback = void (*)(double timeStamp, const unsigned char* bytes, std::size_t size, void* user);

class MidiInput {
 public:
  // Null, with the library's message in `error`, when no MIDI system can be reached.
  static std::unique_ptr<MidiInput> Create(const std::string& clientName, unsigned queueSizeLimit, std::string& error);
  ~MidiInput();
  MidiInput(const MidiInput&) = delete;
  MidiInput& operator=(const MidiInput&) = delete;

  void SetCallback(MidiInputCallback callback, void* user);
  void CancelCallback();
  // Which kinds of message never reach the callback: system exclusive, timing (clock and
  // time code) and active sensing.
  void IgnoreTypes(bool sysex, bool timing, bool sensing);

  unsigned GetPortCount();
  std::string GetPortName(unsigned port);
  // Opens the library's port `port` under our port name `portName`; false on an error.
  [[nodiscard]] bool OpenPort(unsigned port, const std::string& portName);
  void ClosePort();

 private:
  struct Impl;
  explicit MidiInput(std::unique_ptr<Impl> impl);
  static void Deliver(double timeStamp, void* message, void* self);
  std::unique_ptr<Impl> mImpl;
};

class MidiOutput {
 public:
  static std::unique_ptr<MidiOutput> Create(const std::string& clientName, std::string& error);
  ~MidiOutput();
  MidiOutput(const MidiOutput&) = delete;
  MidiOutput& operator=(const MidiOutput&) = delete;

  unsigned GetPortCount();
  std::string GetPortName(unsigned port);
  [[nodiscard]] bool OpenPort(unsigned port, const std::string& portName);
  void ClosePort();

 private:
  struct Impl;
  explicit MidiOutput(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> mImpl;
};

}  // namespace platform
