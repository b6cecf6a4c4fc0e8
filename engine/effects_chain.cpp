#include "engine/effects_chain.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/effects_math.h"
#include "engine/exponential.h"

namespace corva {

namespace {

constexpr float kCeiling = 0.96605f;  // about -0.3 dBFS
constexpr double kMaxSampleRate = 1e7;

inline float targetGain(float v) {
  const float a = std::fabs(v);
  return a > kCeiling ? kCeiling / a : 1.0f;
}

void prepareLimiter(EffectsChain& c, double sampleRate) {
  c.sampleRate = static_cast<float>(sampleRate);
  c.lookahead = roundedSamples(sampleRate * 0.0015, 1);
  c.delayRing.assign(static_cast<size_t>(c.lookahead), 0.0f);
  c.windowCapacity = c.lookahead + 2;
  c.windowGains.assign(static_cast<size_t>(c.windowCapacity), 1.0f);
  c.windowIndices.assign(static_cast<size_t>(c.windowCapacity), 0);
  c.attackCoef = 1.0f - exponential(-3.0f / static_cast<float>(c.lookahead));
  c.releaseCoef = 1.0f - exponential(-1.0f / (0.1f * c.sampleRate));
  c.windowCount = 0;
  c.delayIndex = 0;
  c.gain = 1.0;
  c.sampleCounter = 0;
  c.windowHead = 0;
  c.windowTail = 0;
}

// Limits one sample: returns the sample that entered `lookahead` samples ago,
// scaled so that it stays within the ceiling.
inline float limitSample(EffectsChain& c, float y) {
  const float t = targetGain(y);
  const int32_t cap = c.windowCapacity;

  // Keep the queued gains strictly increasing: anything not below t can never be the minimum again.
  while (c.windowCount > 0) {
    const int32_t b = (c.windowTail == 0 ? cap : c.windowTail) - 1;
    if (t > c.windowGains[b]) break;
    c.windowTail = b;
    --c.windowCount;
  }
  c.windowGains[c.windowTail] = t;
  c.windowIndices[c.windowTail] = c.sampleCounter;
  if (++c.windowTail == cap) c.windowTail = 0;
  ++c.windowCount;
  while (c.windowCount > 0 && c.windowIndices[c.windowHead] < c.sampleCounter - c.lookahead) {
    if (++c.windowHead == cap) c.windowHead = 0;
    --c.windowCount;
  }

  const double m = static_cast<double>(c.windowGains[c.windowHead]);
  const double coef = static_cast<double>(c.gain > m ? c.attackCoef : c.releaseCoef);
  c.gain += (m - c.gain) * coef;
  if (m >= 1.0 && c.gain > 0.999999999) c.gain = 1.0;  // an idle limiter is bit-transparent

  const float d = c.delayRing[c.delayIndex];
  c.delayRing[c.delayIndex] = y;
  if (++c.delayIndex >= static_cast<int32_t>(c.delayRing.size())) c.delayIndex = 0;
  ++c.sampleCounter;

  // The delayed sample's own target caps the gain while the smoothed gain is still falling.
  const double g = std::min(static_cast<double>(targetGain(d)), c.gain);
  return static_cast<float>(g * static_cast<double>(d));
}

}  // namespace

void prepareEffects(EffectsChain& c, double sampleRate) {
  if (!(sampleRate >= 1.0 && sampleRate <= kMaxSampleRate)) return;
  prepareEcho(c.echo, sampleRate);
  prepareReverb(c.reverb, sampleRate);
  prepareLimiter(c, sampleRate);
  setEchoParams(c.echo, c.echoOn, c.echoFeedback, c.echoTimeMs);
  setReverbAmount(c.reverb, c.reverbAmount);
}

void settleSmoothing(EffectsChain& c) {
  c.echo.initialised = false;
  setEchoParams(c.echo, c.echoOn, c.echoFeedback, c.echoTimeMs);
  c.reverb.wet = c.reverb.amount;
}

void processEffects(EffectsChain& c, float** outputs, int nChans, int nFrames) {
  if (nChans < 1 || nFrames < 1 || outputs == nullptr || outputs[0] == nullptr || c.delayRing.empty()) return;
  float* out = outputs[0];
  for (int i = 0; i < nFrames; ++i) {
    const float x = processEcho(c.echo, out[i]);
    float y = processReverb(c.reverb, x);
    if (!isFiniteSample(y)) y = 0.0f;
    out[i] = limitSample(c, y);
  }
  for (int ch = 1; ch < nChans; ++ch) {
    if (outputs[ch] != nullptr) std::memcpy(outputs[ch], out, sizeof(float) * static_cast<size_t>(nFrames));
  }
}

}  // namespace corva
