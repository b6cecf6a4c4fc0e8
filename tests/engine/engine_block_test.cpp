// Block rendering: oversampling factors, the decimation filter, latency, and the
// engine's handling of unprepared and repeated blocks.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/circuit_engine.h"

namespace corva {
namespace {

struct Rendered {
  std::vector<float> left;
  std::vector<float> right;
};

Rendered renderBlock(CircuitEngine& engine, int frames) {
  Rendered r{std::vector<float>(frames, 0.0f), std::vector<float>(frames, 0.0f)};
  float* outs[2] = {r.left.data(), r.right.data()};
  renderCircuitBlock(engine, outs, 2, frames);
  return r;
}

TEST(EngineBlock, FactorTapsAndLatencyFollowRateAndCap) {
  struct Case {
    double rate;
    int cap;
    int factor;
    int taps;
  };
  const Case cases[] = {{44100, 8, 8, 129}, {48000, 8, 8, 129}, {48000, 4, 4, 65}, {96000, 8, 4, 65},
                        {100000, 8, 3, 49}, {192000, 8, 2, 33}, {400000, 8, 1, 1}, {44100, 1, 1, 1},
                        {44100, 2, 2, 33},  {44100, 7, 4, 65}, {500000, 8, 1, 1}};
  for (const Case& c : cases) {
    CircuitEngine engine;
    engine.controls.oversamplingCap = c.cap;
    prepareEngine(engine, c.rate);
    EXPECT_EQ(oversamplingFactor(engine), c.factor) << c.rate << " cap " << c.cap;
    renderBlock(engine, 16);
    EXPECT_EQ(engine.tapCount, c.taps) << c.rate << " cap " << c.cap;
    EXPECT_EQ(computeLatency(engine, 66), (c.factor >= 2 ? 8 : 0) + 66);
  }
}

TEST(EngineBlock, FilterHasUnityGainAtDcAndIsSymmetric) {
  CircuitEngine engine;
  engine.sampleRate = 48000.0f;
  engine.samplePeriod = 1.0f / 48000.0f;
  for (int f = 2; f <= 8; ++f) {
    buildDecimationFilter(engine, f);
    float sum = 0.0f;
    for (int n = 0; n < engine.tapCount; ++n) {
      sum += engine.taps[n];
      EXPECT_NEAR(engine.taps[n], engine.taps[engine.tapCount - 1 - n], 1e-6f);
    }
    EXPECT_NEAR(sum, 1.0f, 1e-5f);
  }
}

TEST(EngineBlock, UnpreparedOrEmptyBlockWritesNothing) {
  CircuitEngine engine;
  std::vector<float> buf(64, 0.25f);
  float* outs[1] = {buf.data()};
  renderCircuitBlock(engine, outs, 1, 64);
  for (float s : buf) EXPECT_EQ(s, 0.25f);
  EXPECT_EQ(engine.blockCount, 0);

  prepareEngine(engine, 48000.0);
  renderCircuitBlock(engine, outs, 1, 0);
  for (float s : buf) EXPECT_EQ(s, 0.25f);
  EXPECT_EQ(engine.blockCount, 0);
}

}  // namespace
}  // namespace corva
