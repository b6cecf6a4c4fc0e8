// Block rendering: oversampling factors, the decimation filter, latency, and the
// engine's handling of unprepared and repeated blocks.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
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
                        {44100, 2, 2, 33},  {44100, 7, 4, 65},  {500000, 8, 1, 1}};
  for (const Case& c : cases) {
    CircuitEngine engine;
    engine.controls.oversamplingCap = c.cap;
    EXPECT_TRUE(prepareEngine(engine, c.rate));
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

  EXPECT_TRUE(prepareEngine(engine, 48000.0));
  renderCircuitBlock(engine, outs, 1, 0);
  for (float s : buf) EXPECT_EQ(s, 0.25f);
  EXPECT_EQ(engine.blockCount, 0);
}

}  // namespace
}  // namespace corva

namespace corva {
namespace {

CircuitEngine playingEngine(int cap = 4) {
  CircuitEngine engine;
  engine.controls.trigger = 1;
  engine.controls.oversamplingCap = cap;
  EXPECT_TRUE(prepareEngine(engine, 48000.0));
  return engine;
}

bool allFinite(const std::vector<float>& v) {
  for (float s : v)
    if (!std::isfinite(s)) return false;
  return true;
}

TEST(EngineBlock, OutputIsAddedToEveryChannel) {
  CircuitEngine a = playingEngine();
  CircuitEngine b = playingEngine();
  for (int i = 0; i < 20; ++i) {
    renderBlock(a, 64);
    renderBlock(b, 64);
  }
  const Rendered clean = renderBlock(a, 64);
  std::vector<float> left(64, 0.5f), right(64, -0.25f);
  float* outs[2] = {left.data(), right.data()};
  renderCircuitBlock(b, outs, 2, 64);
  float energy = 0.0f;
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(clean.left[i], clean.right[i]);
    EXPECT_EQ(left[i], 0.5f + clean.left[i]);
    EXPECT_EQ(right[i], -0.25f + clean.left[i]);
    energy += std::fabs(clean.left[i]);
  }
  EXPECT_GT(energy, 0.0f);
}

TEST(EngineBlock, FirstBlockStartsTheRampsAtTheCircuitsValues) {
  CircuitEngine engine = playingEngine();
  renderBlock(engine, 256);
  EXPECT_GT(engine.c4Volts, 0.0f);
  EXPECT_EQ(engine.rampStep[0], 0.0f);
  EXPECT_EQ(engine.rampStep[1], 0.0f);
  EXPECT_EQ(engine.rampValue[0], engine.squareVolts);
  EXPECT_EQ(engine.rampValue[1], engine.c4Volts);
  // Later blocks ramp from the last values and arrive at the new ones.
  renderBlock(engine, 256);
  EXPECT_NEAR(engine.rampValue[1], engine.c4Volts, 1e-3f);
}

TEST(EngineBlock, ChangingTheFactorRebuildsTheFilterWithoutNaN) {
  CircuitEngine engine = playingEngine(8);
  for (int i = 0; i < 10; ++i) renderBlock(engine, 64);
  EXPECT_EQ(engine.tapCount, 129);
  for (int cap : {1, 4, 2, 8}) {
    engine.controls.oversamplingCap = cap;
    const Rendered r = renderBlock(engine, 64);
    EXPECT_EQ(engine.filterFactor, cap);
    EXPECT_EQ(engine.tapCount, cap == 1 ? 1 : 16 * cap + 1);
    EXPECT_TRUE(allFinite(r.left));
    EXPECT_NEAR(engine.oversampledPeriod, engine.samplePeriod / cap, 1e-12);
  }
}

TEST(EngineBlock, GateSwitchesTheLedAndTheSupplyWithATwoMillisecondLag) {
  CircuitEngine engine = playingEngine();
  renderBlock(engine, 48);  // 1 ms: about 39% of the way
  EXPECT_NEAR(engine.ledLevel, 1.0f - std::exp(-0.5f), 1e-3f);
  for (int i = 0; i < 20; ++i) renderBlock(engine, 64);
  EXPECT_NEAR(engine.ledLevel, 1.0f, 1e-3f);
  engine.controls.trigger = 0;
  for (int i = 0; i < 40; ++i) renderBlock(engine, 64);
  EXPECT_LT(engine.ledLevel, 1e-4f);
  EXPECT_EQ(engine.circuit.pinnedVoltage[engine.circuit.vRail], 0.0);
  engine.controls.hold = 1;
  engine.controls.supply = 0.0f;
  renderBlock(engine, 64);
  EXPECT_EQ(engine.ledLevel, 0.0f);
}

TEST(EngineBlock, ExhaustedBudgetHoldsTheOutputAndGrowsTheDeficit) {
  CircuitEngine engine = playingEngine(1);
  for (int i = 0; i < 50; ++i) renderBlock(engine, 64);
  ASSERT_EQ(engine.exhaustedBlocks, 0);
  // Pretend an evaluation costs a millisecond: the budget falls to its floor of 8.
  engine.controls.adaptiveCost = 1;
  engine.costPerEvaluation = 1e-3f;
  const double deficit = engine.outputDeficit;
  const Rendered r = renderBlock(engine, 64);
  EXPECT_EQ(engine.budgetStart, 8);
  EXPECT_EQ(engine.exhaustedBlocks, 1);
  EXPECT_GT(engine.outputDeficit, deficit + 32 * engine.samplePeriod);
  // With the stage held, only the slow DC blocker moves the output.
  for (int i = 40; i < 64; ++i) EXPECT_NEAR(r.left[i], r.left[i - 1], 1e-4f);
  EXPECT_TRUE(allFinite(r.left));
  // The deficit is paid back by shortening the main circuit's next intervals.
  engine.controls.adaptiveCost = 0;
  for (int i = 0; i < 20; ++i) renderBlock(engine, 64);
  EXPECT_LT(engine.outputDeficit, 1e-9);
}

// At 96 kHz a 64-frame block's share is small; the note's start, where both circuits
// settle from rest together, must still complete without running out.
TEST(EngineBlock, NoteStartAtHighRateStaysWithinTheBudget) {
  CircuitEngine engine;
  engine.controls.trigger = 1;
  engine.controls.tone = 2;
  engine.controls.mode = 2;
  engine.controls.speed = 2;
  EXPECT_TRUE(prepareEngine(engine, 96000.0));
  for (int i = 0; i < 150; ++i) renderBlock(engine, 64);
  EXPECT_EQ(engine.exhaustedBlocks, 0);
  EXPECT_LT(engine.outputDeficit, 1e-12);
}

TEST(EngineBlock, PreparingAgainPlaysLikeAFreshEngine) {
  EngineControls controls;
  controls.trigger = 1;
  controls.tone = 2;
  controls.mode = 1;
  controls.volume = 0.7f;
  CircuitEngine fresh;
  fresh.controls = controls;
  EXPECT_TRUE(prepareEngine(fresh, 48000.0));

  // Played elsewhere first: another rate and setting, small blocks and large.
  CircuitEngine used = playingEngine(8);
  used.controls.mode = 2;
  EXPECT_TRUE(prepareEngine(used, 192000.0));
  for (int i = 0; i < 4000; ++i) renderBlock(used, 1);
  for (int i = 0; i < 100; ++i) renderBlock(used, 64);
  used.controls = controls;
  EXPECT_TRUE(prepareEngine(used, 48000.0));

  for (int i = 0; i < 400; ++i) {
    const Rendered a = renderBlock(fresh, 64);
    const Rendered b = renderBlock(used, 64);
    ASSERT_EQ(a.left, b.left) << "block " << i;
  }
}

TEST(EngineBlock, NonFiniteControlsAndRatesNeverReachTheOutput) {
  CircuitEngine engine = playingEngine();
  for (int i = 0; i < 10; ++i) renderBlock(engine, 64);
  engine.controls.supply = std::nanf("");
  EXPECT_TRUE(allFinite(renderBlock(engine, 64).left));
  engine.controls.supply = 12.2f;
  engine.controls.volume = std::numeric_limits<float>::infinity();
  EXPECT_TRUE(allFinite(renderBlock(engine, 64).left));
  // A finite volume large enough to overflow the samples, on its way up and held.
  engine.controls.volume = 3e38f;
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(allFinite(renderBlock(engine, 64).left));
  engine.controls.volume = 1.0f;
  float energy = 0.0f;
  for (int i = 0; i < 100; ++i) {
    const Rendered r = renderBlock(engine, 64);
    EXPECT_TRUE(allFinite(r.left));
    for (float s : r.left) energy += std::fabs(s);
  }
  EXPECT_GT(energy, 1.0f);  // the instrument plays again once the controls are sane

  // An evaluation cost far below any real one gives the largest budget, not the floor.
  engine.controls.adaptiveCost = 1;
  engine.costPerEvaluation = 1e-30f;
  EXPECT_TRUE(allFinite(renderBlock(engine, 64).left));
  EXPECT_GT(engine.budgetStart, 100000000);
  engine.costPerEvaluation = std::nanf("");
  EXPECT_TRUE(allFinite(renderBlock(engine, 64).left));
  EXPECT_EQ(engine.budgetStart, 8);

  CircuitEngine raw;
  raw.sampleRate = std::nanf("");
  EXPECT_EQ(oversamplingFactor(raw), 1);

  // Rates the engine cannot render are refused, the absurdly high and low included.
  for (double rate : {0.0, -48000.0, std::nan(""), std::numeric_limits<double>::infinity(), 999.0, 1.5e6, 1e300}) {
    CircuitEngine bad;
    EXPECT_FALSE(prepareEngine(bad, rate)) << rate;
    EXPECT_EQ(bad.sampleRate, 0.0f);
    const Rendered r = renderBlock(bad, 64);
    for (float s : r.left) EXPECT_EQ(s, 0.0f);
  }
}

}  // namespace
}  // namespace corva
