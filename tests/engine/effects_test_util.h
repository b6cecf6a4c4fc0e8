#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "engine/effects_chain.h"

namespace corva::test {

// Hands parameters over the way the plug-in does before a block.
inline void setParams(EffectsChain& c, bool echoOn, float feedback, float timeMs, float reverb) {
  c.echoOn = echoOn;
  c.echoFeedback = feedback;
  c.echoTimeMs = timeMs;
  c.reverbAmount = reverb;
  setEchoParams(c.echo, echoOn, feedback, timeMs);
  setReverbAmount(c.reverb, reverb);
}

// Runs a mono signal through the chain in blocks on two channels, in place,
// and checks that channel 1 always receives a copy of channel 0.
inline bool runChain(EffectsChain& c, std::vector<float>& signal, int block = 64) {
  std::vector<float> right(static_cast<size_t>(block));
  bool copies = true;
  for (size_t at = 0; at < signal.size(); at += static_cast<size_t>(block)) {
    const int n = static_cast<int>(std::min(signal.size() - at, static_cast<size_t>(block)));
    float* outs[2] = {signal.data() + at, right.data()};
    processEffects(c, outs, 2, n);
    copies = copies && std::equal(right.begin(), right.begin() + n, signal.begin() + static_cast<long>(at));
  }
  return copies;
}

// True when a one-sample stage returns 2000 random inputs unchanged, bit for bit.
template <class Stage>
bool passesBitForBit(Stage&& stage) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> dist(-3.0f, 3.0f);
  for (int i = 0; i < 2000; ++i) {
    const float x = dist(rng);
    const float y = stage(x);
    if (std::memcmp(&x, &y, sizeof x) != 0) return false;
  }
  return true;
}

inline float rms(const std::vector<float>& v, size_t from, size_t to) {
  double sum = 0.0;
  for (size_t i = from; i < to; ++i) sum += static_cast<double>(v[i]) * v[i];
  return static_cast<float>(std::sqrt(sum / static_cast<double>(to - from)));
}

}  // namespace corva::test
