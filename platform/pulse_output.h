#pragma once
// Playback through PulseAudio's own asynchronous interface: the server's devices, and one
// output stream whose buffering follows the period the program asks for (the server is
// asked for a total latency of three periods and a request size of one), fed from a
// callback on PulseAudio's thread in whole periods of 64-bit float, one run of frames
// per channel. A server that goes away ends the stream once: it is marked failed and the
// callback is no longer called.

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace platform {

struct PulseDevice {
  std::string name;         // the server's name of the sink or source
  std::string description;  // what a user is shown
  unsigned channels = 0;
  unsigned rate = 0;
  bool isSink = true;
  bool isDefault = false;
};

class PulseOutput {
 public:
  // Fills one period: `frames` doubles per channel, channel after channel. Returns 0.
  using Callback = int (*)(void* output, void* input, unsigned frames, double streamTime, unsigned status, void* user);

  // The server's sinks and sources (monitors left out); false with a reason when no
  // server answers.
  [[nodiscard]] static bool ListDevices(std::vector<PulseDevice>& devices, std::string& error);

  PulseOutput();
  ~PulseOutput();
  PulseOutput(const PulseOutput&) = delete;
  PulseOutput& operator=(const PulseOutput&) = delete;

  // Connects a playback stream to the sink `sink`, corked. `frames` is the period.
  [[nodiscard]] bool Open(const std::string& sink, unsigned channels, unsigned rate, unsigned frames, Callback callback,
                          void* user, std::string& error);
  [[nodiscard]] bool Start(std::string& error);
  // Stops calling back. With `drain`, what the server holds plays out first (at most
  // `drainMs`); else it is dropped.
  void Stop(bool drain, int drainMs);
  void Close();

  bool IsOpen() const;
  bool IsRunning() const { return mRunning.load(); }
  // True once the server ended the stream or the connection by itself; `reason` says how.
  bool Failed(std::string* reason = nullptr) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> mImpl;
  std::atomic<bool> mRunning{false};
};

}  // namespace platform
