#include <gtest/gtest.h>

#include <cmath>

#include "tests/engine/effects_test_util.h"

namespace corva {
namespace {

using test::runChain;
using test::setParams;

TEST(Chain, ResetKeepsTheRememberedParametersAndDropsTheSound) {
  EffectsChain c;
  prepareEffects(c, 48000);
  setParams(c, true, 0.8f, 200.0f, 0.6f);
  std::vector<float> sound(9600, 0.5f);
  runChain(c, sound);

  prepareEffects(c, 44100);
  EXPECT_EQ(c.echo.wet, 1.0f);  // no fade-in after a reset
  EXPECT_EQ(c.echo.feedback, 0.8f * 1.05f);
  EXPECT_NEAR(c.echo.delaySamples, 0.2 * 44100, 1e-2);
  EXPECT_EQ(c.reverb.wet, 0.6f);
  EXPECT_EQ(c.reverb.amount, 0.6f);
  EXPECT_EQ(c.gain, 1.0);
  EXPECT_EQ(c.lookahead, 66);
  // Nothing of the earlier sound comes back out.
  std::vector<float> silence(44100, 0.0f);
  runChain(c, silence);
  for (float v : silence) ASSERT_EQ(v, 0.0f);
}

TEST(Chain, EchoRepeatLeavesAfterTheSetTimePlusTheLookahead) {
  EffectsChain c;
  setParams(c, true, 0.0f, 100.0f, 0.0f);
  prepareEffects(c, 48000);
  std::vector<float> out(9600, 0.0f);
  out[0] = 0.5f;
  runChain(c, out, 256);
  EXPECT_EQ(out[72], 0.5f);
  size_t best = 100;
  for (size_t i = 100; i < out.size(); ++i)
    if (std::fabs(out[i]) > std::fabs(out[best])) best = i;
  EXPECT_NEAR(static_cast<double>(best), 4800.0 + 72.0, 3.0);
}

// Largest change between neighbouring samples in [from, to).
float largestStep(const std::vector<float>& v, size_t from, size_t to) {
  float step = 0.0f;
  for (size_t i = from + 1; i < to; ++i) step = std::max(step, std::fabs(v[i] - v[i - 1]));
  return step;
}

TEST(Chain, SwitchingEffectsDuringPlayDoesNotClick) {
  EffectsChain c;
  prepareEffects(c, 48000);
  const float w = 2.0f * 3.14159265f * 220.0f / 48000.0f;
  std::vector<float> out(48000 * 2);
  for (size_t i = 0; i < out.size(); ++i) out[i] = 0.3f * std::sin(w * static_cast<float>(i));
  const float dryStep = largestStep(out, 0, 4800);

  // Each quarter second, one switch changes, in the middle of a block.
  const bool echoOn[8] = {true, true, false, false, true, true, false, false};
  const float reverb[8] = {0.0f, 0.7f, 0.7f, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f};
  const size_t quarter = 12000;
  for (size_t q = 0; q < 8; ++q) {
    setParams(c, echoOn[q], 0.6f, 170.0f, reverb[q]);
    std::vector<float> part(out.begin() + static_cast<long>(q * quarter),
                            out.begin() + static_cast<long>((q + 1) * quarter));
    ASSERT_TRUE(runChain(c, part, 100));
    std::copy(part.begin(), part.end(), out.begin() + static_cast<long>(q * quarter));
  }
  // A switch that jumped would step by about the size of the wet signal at once.
  for (size_t q = 1; q < 8; ++q) {
    const size_t at = q * quarter + 72;
    EXPECT_LT(largestStep(out, at - 48, at + 480), 3.0f * dryStep) << "switch " << q;
  }
  for (float v : out) ASSERT_TRUE(std::isfinite(v));
}

}  // namespace
}  // namespace corva
