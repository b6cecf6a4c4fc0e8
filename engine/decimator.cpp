// Windowed-sinc decimation from the oversampled rate to the host rate.

#include <algorithm>
#include <cmath>

#include "engine/circuit_engine.h"
#include "engine/trigonometry.h"

namespace corva {

void resetDecimator(CircuitEngine& engine) {
  for (auto& entry : engine.lanes)
    for (float& s : entry) s = 0.0f;
  // The entries before the first sample stand for the silence before it.
  engine.lanePos = decimatorHistory(engine);
  engine.wildFrames = 0;
  const float factor = engine.factor > 1 ? static_cast<float>(engine.factor) : 1.0f;
  engine.oversampledPeriod = engine.samplePeriod / factor;
}

void buildDecimationFilter(CircuitEngine& engine, std::int32_t factor) {
  constexpr float kPi = 3.14159265358979323846f;
  engine.factor = factor;
  if (factor >= 2) {
    const int N = decimationTaps(factor) - 1;
    const float fc = 0.45f / static_cast<float>(factor);
    float sum = 0.0f;
    for (int n = 0; n <= N; ++n) {
      const float x = static_cast<float>(n) - static_cast<float>(N) / 2.0f;
      const float sinc = x == 0.0f ? 2.0f * fc : static_cast<float>(sine(2.0f * kPi * fc * x)) / (kPi * x);
      const float phase = static_cast<float>(n) / static_cast<float>(N);
      const float window = 0.42f - 0.5f * static_cast<float>(cosine(2.0f * kPi * phase)) +
                           0.08f * static_cast<float>(cosine(4.0f * kPi * phase));
      engine.taps[n] = window * sinc;
      sum += engine.taps[n];
    }
    for (int n = 0; n <= N; ++n) engine.taps[n] /= sum;
    engine.tapCount = N + 1;
  } else {
    engine.taps[0] = 1.0f;
    engine.tapCount = 1;
  }
  for (int n = 0; n < engine.tapCount; ++n)
    for (float& lane : engine.tapLanes[n]) lane = engine.taps[n];
  resetDecimator(engine);
  engine.filterFactor = factor;
}

}  // namespace corva
