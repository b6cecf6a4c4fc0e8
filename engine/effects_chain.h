#pragma once

#include <cstdint>
#include <vector>

#include "engine/echo.h"
#include "engine/reverb.h"

namespace corva {

// The mono effects section after the circuit: echo, reverb, a guard against
// non-finite samples and a lookahead peak limiter. It processes channel 0 in
// place and copies the result into every other channel. The limiter delays the
// signal by exactly `lookahead` samples, which belongs in the reported latency.
//
// Parameter hand-over, on the processing thread right before a block: write
// echoOn, echoFeedback, echoTimeMs and reverbAmount, then call
// setEchoParams(chain.echo, echoOn, echoFeedback, echoTimeMs) and
// setReverbAmount(chain.reverb, reverbAmount). prepareEffects re-applies the
// four remembered values after every reset.
struct EffectsChain {
  Echo echo;
  Reverb reverb;
  std::vector<float> delayRing;        // limiter delay line, `lookahead` samples
  std::vector<float> windowGains;      // sliding-minimum queue: target gains
  std::vector<int64_t> windowIndices;  // sliding-minimum queue: sample number of each gain
  int32_t windowCapacity = 0;          // lookahead + 2
  int32_t windowHead = 0;              // oldest queued entry
  int32_t windowTail = 0;              // where the next entry goes
  int32_t windowCount = 0;
  int32_t delayIndex = 0;
  int32_t lookahead = 1;      // samples, at least 1
  int64_t sampleCounter = 0;  // samples limited since the last prepare
  float sampleRate = 48000.0f;
  float attackCoef = 1.0f;   // used while the gain falls
  float releaseCoef = 0.0f;  // used while the gain rises
  double gain = 1.0;         // smoothed limiter gain
  bool echoOn = false;
  float echoFeedback = 0.35f;
  float echoTimeMs = 300.0f;
  float reverbAmount = 0.0f;
};

// Sizes and clears all audio state for a sample rate and re-applies the
// remembered parameters. Must run before the first block and on every reset.
// A rate that is not a finite number between 1 Hz and 10 MHz is refused and
// leaves the chain as it was.
void prepareEffects(EffectsChain& chain, double sampleRate);

// Sets the echo's delay and wet gain and the reverb's wet level to the remembered
// parameters at once, as a prepare does. Called before the first block after a prepare,
// once that block's parameters are in: the block then starts at them instead of gliding
// to them from the values the prepare saw.
void settleSmoothing(EffectsChain& chain);

// Processes one block in place: outputs[0] in, outputs[0 .. nChans-1] out.
// Does nothing when nChans < 1, nFrames < 1 or the chain was never prepared.
void processEffects(EffectsChain& chain, float** outputs, int nChans, int nFrames);

}  // namespace corva
