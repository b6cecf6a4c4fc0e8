#include "engine/reverb.h"

#include <algorithm>
#include <cmath>

#include "engine/effects_math.h"
#include "engine/exponential.h"

namespace corva {

namespace {

constexpr float kTwoPi80 = 502.65485f;
constexpr float kTwoPi4500 = 28274.334f;
constexpr float kDiffuserGain = 0.72f;
constexpr float kLineAllpassGain = 0.5f;
constexpr float kScale = 0.35355338f;  // 1 / sqrt(8)
constexpr float kWetGain = 2.05f;
constexpr double kDecaySeconds = 1.552;
constexpr double kLn10 = 2.302585092994045684;  // 10^y = exp(y ln 10)

// Nominal lengths in ms of each network line and of the all-pass inside it.
constexpr float kLineMs[Reverb::kLines] = {13.7f, 19.3f, 25.9f, 34.1f, 44.7f, 58.3f, 74.1f, 96.7f};
constexpr float kLineAllpassMs[Reverb::kLines] = {1.87f, 2.63f, 3.59f, 4.73f, 6.13f, 8.11f, 10.27f, 13.39f};

int32_t lengthFor(float ms, float sampleRate) {
  return roundedSamples(static_cast<double>(ms * 0.001f * sampleRate), 2);
}

// Schroeder all-pass over a circular buffer.
inline float allpassStep(std::vector<float>& buf, int32_t& pos, float in, float g) {
  const float d = buf[pos];
  const float w = in - g * d;
  buf[pos] = w;
  if (++pos >= static_cast<int32_t>(buf.size())) pos = 0;
  return g * w + d;
}

}  // namespace

void prepareReverb(Reverb& r, double sampleRate) {
  r.sampleRate = static_cast<float>(sampleRate);
  const float rate = r.sampleRate;
  for (int k = 0; k < Reverb::kDiffusers; ++k) {
    const float ms = static_cast<float>(k) * 3.1f / 23.0f + 0.4f;
    r.allpass[k].assign(static_cast<size_t>(lengthFor(ms, rate)), 0.0f);
  }
  for (int j = 0; j < Reverb::kLines; ++j) {
    r.line[j].assign(static_cast<size_t>(lengthFor(kLineMs[j], rate)), 0.0f);
    r.lineAllpass[j].assign(static_cast<size_t>(lengthFor(kLineAllpassMs[j], rate)), 0.0f);
    // Each pass through a line loses the share of 60 dB that its nominal length takes of the decay time.
    const double ms = static_cast<double>(kLineMs[j]) + static_cast<double>(kLineAllpassMs[j]);
    r.lineGain[j] = static_cast<float>(exponential(ms * 0.001 * -3.0 / kDecaySeconds * kLn10));
  }
  r.highpassCoef = 1.0f - exponential(-kTwoPi80 / rate);
  r.lowpassCoef = 1.0f - exponential(-kTwoPi4500 / rate);
  r.wetCoef = 1.0f - exponential(-1.0f / (0.005f * rate));
  clearReverb(r);
}

void clearReverb(Reverb& r) {
  for (auto& b : r.allpass) std::fill(b.begin(), b.end(), 0.0f);
  for (auto& b : r.line) std::fill(b.begin(), b.end(), 0.0f);
  for (auto& b : r.lineAllpass) std::fill(b.begin(), b.end(), 0.0f);
  r.allpassIndex.fill(0);
  r.lineIndex.fill(0);
  r.lineAllpassIndex.fill(0);
  r.wet = r.amount;
  r.highpassState = 0.0f;
  r.lowpassState = 0.0f;
  r.clearPending = false;
}

void setReverbAmount(Reverb& r, float amount) {
  const float a = clampOrLow(amount, 0.0f, 1.0f);
  if (a > 0.0f && r.clearPending) clearReverb(r);
  r.amount = a;
}

float processReverb(Reverb& r, float x) {
  if (reverbIdle(r)) {
    passReverb(r);
    return x;
  }
  r.wet = smoothTowards(r.wet, r.amount, r.wetCoef);

  float v = isFiniteSample(x) ? x : 0.0f;
  for (int k = 0; k < Reverb::kDiffusers; ++k) v = allpassStep(r.allpass[k], r.allpassIndex[k], v, kDiffuserGain);

  // Read every line (through its inner all-pass) before writing any.
  float o[Reverb::kLines];
  for (int j = 0; j < Reverb::kLines; ++j) {
    const float rd = r.line[j][r.lineIndex[j]];
    o[j] = allpassStep(r.lineAllpass[j], r.lineAllpassIndex[j], rd, kLineAllpassGain);
  }

  // Hadamard mix in natural (Sylvester) order as a butterfly of sums and differences.
  float m[Reverb::kLines] = {o[0], o[1], o[2], o[3], o[4], o[5], o[6], o[7]};
  for (int h = 1; h < Reverb::kLines; h <<= 1) {
    for (int i = 0; i < Reverb::kLines; i += 2 * h) {
      for (int k = i; k < i + h; ++k) {
        const float a = m[k], b = m[k + h];
        m[k] = a + b;
        m[k + h] = a - b;
      }
    }
  }

  const float u = v * kScale;
  constexpr float kInputSign[Reverb::kLines] = {1, -1, 1, 1, -1, 1, -1, -1};
  for (int j = 0; j < Reverb::kLines; ++j) {
    auto& buf = r.line[j];
    int32_t& pos = r.lineIndex[j];
    buf[pos] = kScale * m[j] * r.lineGain[j] + kInputSign[j] * u;
    if (++pos >= static_cast<int32_t>(buf.size())) pos = 0;
  }

  const float y = kScale * (o[0] + o[1] - o[2] + o[3] - o[4] - o[5] + o[6] - o[7]);
  r.highpassState += (y - r.highpassState) * r.highpassCoef;
  const float h = y - r.highpassState;
  r.lowpassState += (h - r.lowpassState) * r.lowpassCoef;
  return x + r.lowpassState * r.wet * kWetGain;
}

}  // namespace corva
