#pragma once
// The audio side of a plug-in: sample rate, block size, channel counts, latency, and
// the calls a wrapper makes on the audio thread.

#include <atomic>
#include <vector>

#include "framework/config.h"
#include "framework/imidi_msg.h"
#include "framework/iplug_constants.h"

namespace iplug {

class IPlugProcessor {
 public:
  explicit IPlugProcessor(const Config& config);
  virtual ~IPlugProcessor();
  IPlugProcessor(const IPlugProcessor&) = delete;
  IPlugProcessor& operator=(const IPlugProcessor&) = delete;

  // The audio-thread calls below (ProcessBlock, ProcessMidiMsg, ProcessSysEx) must not
  // wait: they take no lock, allocate nothing and make no system call, and whatever they
  // hand to other threads goes through lock-free queues or atomics.

  // Audio thread. Renders nFrames into one buffer per output channel.
  virtual void ProcessBlock(sample** inputs, sample** outputs, int nFrames) = 0;
  // Audio thread, before the block the message belongs to.
  virtual void ProcessMidiMsg(const IMidiMsg& /*msg*/) {}
  // Audio thread, like ProcessMidiMsg.
  virtual void ProcessSysEx(const SysExData& /*msg*/) {}
  // Whenever the sample rate or block size was set, while no block is processed.
  virtual void OnReset() {}

  double GetSampleRate() const { return mSampleRate; }
  // Rates that are not finite and positive are refused and the previous rate is kept.
  [[nodiscard]] bool SetSampleRate(double sampleRate);
  int GetBlockSize() const { return mBlockSize; }
  // Also sizes the buffers ProcessBuffers converts through; call it off the audio thread.
  void SetBlockSize(int blockSize);

  int MaxNChannels(ERoute direction) const { return direction == kInput ? mMaxNInputs : mMaxNOutputs; }

  virtual void SetLatency(int samples) { mLatency.store(samples); }
  int GetLatency() const { return mLatency.load(); }

  // Hands a block of 64-bit buffers to ProcessBlock, converted through the float buffers
  // sized by SetBlockSize, in slices when nFrames is larger, so it never allocates.
  void ProcessBuffers(double** inputs, double** outputs, int nFrames);

 private:
  int mMaxNInputs = 0;
  int mMaxNOutputs = 0;
  double mSampleRate = 44100.0;
  int mBlockSize = 0;
  std::atomic<int> mLatency{0};
  std::vector<sample> mScratch;  // (inputs + outputs) x block size
  std::vector<sample*> mScratchInputs;
  std::vector<sample*> mScratchOutputs;
};

}  // namespace iplug
