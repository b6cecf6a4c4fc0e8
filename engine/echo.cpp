#include "engine/echo.h"

#include <algorithm>
#include <cmath>

#include "engine/effects_math.h"
#include "engine/exponential.h"
#include "engine/trigonometry.h"

namespace corva {

namespace {

constexpr float kTwoPi150 = 942.47784f;
constexpr float kTwoPi3000 = 18849.557f;

// Wraps an index that lies at most one line length outside [0, size).
inline int32_t wrapIndex(int32_t k, int32_t size) {
  if (k < 0) return k + size;
  if (k >= size) return k - size;
  return k;
}

// The delay, in samples, that the echo's time asks for.
inline float delayTarget(const Echo& echo) { return echo.timeMs * 0.001f * echo.sampleRate; }

}  // namespace

void prepareEcho(Echo& echo, double sampleRate) {
  echo.sampleRate = static_cast<float>(sampleRate);
  const auto length = static_cast<size_t>(std::ceil(0.85 * sampleRate)) + 8;
  echo.buffer.assign(length, 0.0f);
  const float rate = echo.sampleRate;
  echo.highpassCoef = 1.0f - exponential(-kTwoPi150 / rate);
  echo.lowpassCoef = 1.0f - exponential(-kTwoPi3000 / rate);
  echo.timeCoef = 1.0f - exponential(-1.0f / (0.06f * rate));
  echo.fadeCoef = 1.0f - exponential(-1.0f / (0.005f * rate));
  echo.highpassState = 0.0f;
  echo.lowpassState = 0.0f;
  echo.writeIndex = 0;
  echo.delaySamples = static_cast<double>(echo.timeMs * 0.001f * rate);
  echo.wet = echo.on ? 1.0f : 0.0f;
  echo.initialised = false;
}

void setEchoParams(Echo& echo, bool on, float feedback, float timeMs) {
  echo.on = on;
  echo.feedback = clampOrLow(feedback, 0.0f, 1.0f) * 1.05f;
  echo.timeMs = clampOrLow(timeMs, 40.0f, 800.0f);
  if (!echo.initialised) {
    echo.delaySamples = static_cast<double>(delayTarget(echo));
    echo.wet = on ? 1.0f : 0.0f;
    echo.initialised = true;
  }
}

void passEcho(Echo& echo) { echo.delaySamples = static_cast<double>(delayTarget(echo)); }

float processEcho(Echo& echo, float x) {
  if (echoIdle(echo)) {
    passEcho(echo);
    return x;
  }
  echo.delaySamples += (static_cast<double>(delayTarget(echo)) - echo.delaySamples) *
                       static_cast<double>(echo.timeCoef);

  float* line = echo.buffer.data();
  const auto size = static_cast<int32_t>(echo.buffer.size());
  const float p = static_cast<float>(echo.writeIndex) - static_cast<float>(echo.delaySamples);
  const float fl = std::floor(p);
  const auto i = static_cast<int32_t>(fl);
  const float f = p - fl;
  const int32_t i1 = wrapIndex(i, size);
  const int32_t i0 = wrapIndex(i1 - 1, size);
  const int32_t i2 = wrapIndex(i1 + 1, size);
  const int32_t i3 = wrapIndex(i2 + 1, size);
  const float p0 = line[i0], p1 = line[i1], p2 = line[i2], p3 = line[i3];
  const float e = (((1.5f * (p1 - p2) + 0.5f * (p3 - p0)) * f + (p0 - 2.5f * p1 + 2.0f * p2 - 0.5f * p3)) * f +
                   0.5f * (p2 - p0)) *
                      f +
                  p1;

  const float v = e * echo.feedback + x;
  echo.highpassState += (v - echo.highpassState) * echo.highpassCoef;
  const float h = v - echo.highpassState;
  echo.lowpassState += (h - echo.lowpassState) * echo.lowpassCoef;
  const float s = echo.lowpassState;
  if (!isFiniteSample(s)) {
    line[echo.writeIndex] = 0.0f;
    echo.highpassState = 0.0f;
    echo.lowpassState = 0.0f;
  } else {
    line[echo.writeIndex] = hyperbolicTangent(s);
  }
  if (++echo.writeIndex >= size) echo.writeIndex = 0;

  const float w = echo.on ? 1.0f : 0.0f;
  echo.wet = smoothTowards(echo.wet, w, echo.fadeCoef);
  if (echo.wet <= 0.0f) {
    // The fade-out has just ended: silence the line so a later start begins clean.
    std::fill(echo.buffer.begin(), echo.buffer.end(), 0.0f);
    echo.highpassState = 0.0f;
    echo.lowpassState = 0.0f;
    return x;
  }
  return x + e * echo.wet;
}

}  // namespace corva
