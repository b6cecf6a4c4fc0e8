#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace corva {

// Mono reverberator: 24 diffusing all-passes feed an 8-line feedback delay
// network (each line with a short all-pass inside), mixed by an 8 x 8 Hadamard
// matrix, tuned for a 1.552 s decay and band-limited (80 Hz .. 4.5 kHz) at the
// output. The amount is both the switch and the wet level; at amount 0 with
// the wet level faded out it passes the input through and costs nothing, and
// its buffers are cleared before it is used again.
struct Reverb {
  static constexpr int kDiffusers = 24;
  static constexpr int kLines = 8;

  std::array<std::vector<float>, kDiffusers> allpass;
  std::array<int32_t, kDiffusers> allpassIndex{};
  std::array<std::vector<float>, kLines> line;
  std::array<int32_t, kLines> lineIndex{};
  std::array<std::vector<float>, kLines> lineAllpass;
  std::array<int32_t, kLines> lineAllpassIndex{};
  std::array<float, kLines> lineGain{};
  float sampleRate = 48000.0f;
  float highpassCoef = 0.0f;  // output high-pass 80 Hz
  float lowpassCoef = 0.0f;   // output low-pass 4.5 kHz
  float highpassState = 0.0f;
  float lowpassState = 0.0f;
  float amount = 0.0f;        // target wet level 0..1
  float wet = 0.0f;           // current wet level
  float wetCoef = 0.0f;       // wet smoothing, 5 ms time constant
  bool clearPending = false;  // set while idle: clear the buffers before the next use
};

// Sizes every buffer for a sample rate, computes gains and coefficients, then clears.
void prepareReverb(Reverb& reverb, double sampleRate);

// Zeroes every buffer, position and filter; the wet level restarts at the amount.
void clearReverb(Reverb& reverb);

// Takes a new amount (clamped to 0..1; not a number counts as 0). Coming out
// of idle, the buffers are cleared first so the new level fades in from silence.
void setReverbAmount(Reverb& reverb, float amount);

// One sample in, one out.
float processReverb(Reverb& reverb, float x);

// Whether the amount is 0 and the wet level faded out: processReverb then passes its
// input through and only marks the buffers for clearing, which passReverb does once for
// any number of samples.
inline bool reverbIdle(const Reverb& reverb) { return reverb.amount <= 0.0f && reverb.wet <= 0.0f; }
inline void passReverb(Reverb& reverb) { reverb.clearPending = true; }

}  // namespace corva
