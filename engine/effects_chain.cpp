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

// Limits n samples in place, a non-finite one taken as silence: each sample is replaced by the one that entered
// `lookahead` samples before it, scaled so that it stays within the ceiling. The state is kept in locals through the
// block.
void limitBlock(EffectsChain& c, float* out, int n) {
  float* const gains = c.windowGains.data();
  int64_t* const indices = c.windowIndices.data();
  float* const ring = c.delayRing.data();
  const int32_t cap = c.windowCapacity;
  const auto ringSize = static_cast<int32_t>(c.delayRing.size());
  const int32_t lookahead = c.lookahead;
  const double attackCoef = static_cast<double>(c.attackCoef);
  const double releaseCoef = static_cast<double>(c.releaseCoef);
  int32_t head = c.windowHead, tail = c.windowTail, count = c.windowCount, delayIndex = c.delayIndex;
  int64_t counter = c.sampleCounter;
  double gain = c.gain;
  for (int i = 0; i < n; ++i) {
    const float y = isFiniteSample(out[i]) ? out[i] : 0.0f;
    const float t = targetGain(y);
    // Keep the queued gains strictly increasing: anything not below t can never be the minimum again.
    while (count > 0) {
      const int32_t b = (tail == 0 ? cap : tail) - 1;
      if (t > gains[b]) break;
      tail = b;
      --count;
    }
    gains[tail] = t;
    indices[tail] = counter;
    if (++tail == cap) tail = 0;
    ++count;
    while (count > 0 && indices[head] < counter - lookahead) {
      if (++head == cap) head = 0;
      --count;
    }

    const double m = static_cast<double>(gains[head]);
    const double coef = gain > m ? attackCoef : releaseCoef;
    gain += (m - gain) * coef;
    if (m >= 1.0 && gain > 0.999999999) gain = 1.0;  // an idle limiter is bit-transparent

    const float d = ring[delayIndex];
    ring[delayIndex] = y;
    if (++delayIndex >= ringSize) delayIndex = 0;
    ++counter;

    // The delayed sample's own target caps the gain while the smoothed gain is still falling.
    const double g = std::min(static_cast<double>(targetGain(d)), gain);
    out[i] = static_cast<float>(g * static_cast<double>(d));
  }
  c.windowHead = head;
  c.windowTail = tail;
  c.windowCount = count;
  c.delayIndex = delayIndex;
  c.sampleCounter = counter;
  c.gain = gain;
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
  if (echoIdle(c.echo) && reverbIdle(c.reverb)) {
    // Both stay idle through the block, passing every sample through: what they would do
    // sample by sample is done once.
    passEcho(c.echo);
    passReverb(c.reverb);
  } else {
    for (int i = 0; i < nFrames; ++i) out[i] = processReverb(c.reverb, processEcho(c.echo, out[i]));
  }
  // The guard and the limiter follow the echo and the reverb, sample for sample.
  limitBlock(c, out, nFrames);
  for (int ch = 1; ch < nChans; ++ch) {
    if (outputs[ch] != nullptr) std::memcpy(outputs[ch], out, sizeof(float) * static_cast<size_t>(nFrames));
  }
}

}  // namespace corva
