#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/echo.h"
#include "tests/engine/effects_test_util.h"

namespace corva {
namespace {

Echo preparedEcho(double rate, bool on, float feedback, float timeMs) {
  Echo e;
  prepareEcho(e, rate);
  setEchoParams(e, on, feedback, timeMs);
  return e;
}

TEST(Echo, OffPassesTheInputBitForBitAndTracksTheTime) {
  Echo e = preparedEcho(48000, false, 0.35f, 300.0f);
  EXPECT_TRUE(test::passesBitForBit([&](float x) { return processEcho(e, x); }));
  setEchoParams(e, false, 0.35f, 123.0f);
  processEcho(e, 0.0f);
  EXPECT_EQ(e.delaySamples, static_cast<double>(123.0f * 0.001f * 48000.0f));
  EXPECT_EQ(e.writeIndex, 0);
}

TEST(Echo, ParametersAreClamped) {
  Echo e = preparedEcho(48000, true, 2.0f, 10.0f);
  EXPECT_EQ(e.feedback, 1.05f);
  EXPECT_EQ(e.timeMs, 40.0f);
  setEchoParams(e, true, -1.0f, 5000.0f);
  EXPECT_EQ(e.feedback, 0.0f);
  EXPECT_EQ(e.timeMs, 800.0f);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  setEchoParams(e, true, nan, nan);
  EXPECT_EQ(e.feedback, 0.0f);
  EXPECT_EQ(e.timeMs, 40.0f);
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(std::isfinite(processEcho(e, 0.5f)));
}

TEST(Echo, FirstSettingJumpsLaterTimesGlide) {
  Echo e = preparedEcho(48000, true, 0.35f, 300.0f);
  const double start = e.delaySamples;
  EXPECT_NEAR(start, 14400.0, 1e-2);  // 300 ms in float arithmetic
  EXPECT_EQ(e.wet, 1.0f);
  setEchoParams(e, true, 0.35f, 100.0f);
  EXPECT_EQ(e.delaySamples, start);
  processEcho(e, 0.0f);
  const double target = static_cast<double>(100.0f * 0.001f * 48000.0f);
  EXPECT_DOUBLE_EQ(e.delaySamples, start + (target - start) * static_cast<double>(e.timeCoef));
  for (int i = 0; i < 48000; ++i) processEcho(e, 0.0f);  // many 60 ms time constants
  EXPECT_NEAR(e.delaySamples, 4800.0, 1e-3);
}

TEST(Echo, SwitchingFadesAndClearsTheLineWhenSilent) {
  Echo e = preparedEcho(48000, false, 0.5f, 50.0f);
  setEchoParams(e, true, 0.5f, 50.0f);
  for (int i = 0; i < 240; ++i) processEcho(e, 0.5f);  // one 5 ms time constant
  EXPECT_NEAR(e.wet, 1.0f - std::exp(-1.0f), 0.01f);
  int n = 0;
  while (e.wet != 1.0f && n < 48000) processEcho(e, 0.5f), ++n;
  EXPECT_LT(n, 48000);
  EXPECT_LT(n, 3000);  // about 60 ms: the glide lands on 1 instead of stalling just below it

  setEchoParams(e, false, 0.5f, 50.0f);
  float last = 0.0f;
  for (n = 0; e.wet > 0.0f && n < 48000; ++n) last = processEcho(e, 0.5f);
  ASSERT_EQ(e.wet, 0.0f);
  EXPECT_EQ(last, 0.5f);  // the sample in which the fade ends returns the input
  for (float v : e.buffer) ASSERT_EQ(v, 0.0f);
  EXPECT_EQ(e.highpassState, 0.0f);
  EXPECT_EQ(e.lowpassState, 0.0f);
}

// Finds the sample of largest magnitude in [from, to).
size_t peakAt(const std::vector<float>& v, size_t from, size_t to) {
  size_t best = from;
  for (size_t i = from; i < to; ++i)
    if (std::fabs(v[i]) > std::fabs(v[best])) best = i;
  return best;
}

TEST(Echo, RepeatsComeAtTheSetTimeAndDecayWithFeedback) {
  for (float feedback : {0.0f, 0.5f, 0.9f}) {
    Echo e = preparedEcho(48000, true, feedback, 250.0f);
    const size_t d = 12000;
    std::vector<float> out(d * 5);
    for (size_t i = 0; i < out.size(); ++i) out[i] = processEcho(e, i == 0 ? 1.0f : 0.0f);
    float previous = 1.0f;
    for (size_t k = 1; k < 5; ++k) {
      const size_t at = peakAt(out, k * d - d / 2, k * d + d / 2);
      const float level = std::fabs(out[at]);
      if (feedback == 0.0f && k > 1) {
        EXPECT_LT(level, 1e-6f) << k;
        continue;
      }
      // Each pass through the feedback filters adds a sample or two of delay.
      EXPECT_NEAR(static_cast<double>(at), static_cast<double>(k * d), 3.0 * k) << feedback << " repeat " << k;
      EXPECT_LT(level, previous) << feedback << " repeat " << k;
      EXPECT_GT(level, 1e-3f) << feedback << " repeat " << k;
      previous = level;
    }
  }
}

TEST(Echo, NonFiniteInputCannotPoisonTheLoop) {
  Echo e = preparedEcho(48000, true, 1.0f, 40.0f);
  for (int i = 0; i < 1000; ++i) processEcho(e, std::sin(0.05f * static_cast<float>(i)));
  processEcho(e, std::numeric_limits<float>::quiet_NaN());
  processEcho(e, std::numeric_limits<float>::infinity());
  float energy = 0.0f;
  for (int i = 0; i < 5000; ++i) {
    const float y = processEcho(e, std::sin(0.05f * static_cast<float>(i)));
    ASSERT_TRUE(std::isfinite(y)) << i;
    energy += y * y;
  }
  EXPECT_GT(energy, 100.0f);
  for (float v : e.buffer) ASSERT_LE(std::fabs(v), 1.0f);
}

}  // namespace
}  // namespace corva
