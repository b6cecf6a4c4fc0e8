#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/reverb.h"
#include "tests/engine/effects_test_util.h"

namespace corva {
namespace {

bool allSilent(const Reverb& r) {
  auto silent = [](const std::vector<float>& b) {
    return std::all_of(b.begin(), b.end(), [](float v) { return v == 0.0f; });
  };
  return std::all_of(r.allpass.begin(), r.allpass.end(), silent) && std::all_of(r.line.begin(), r.line.end(), silent) &&
         std::all_of(r.lineAllpass.begin(), r.lineAllpass.end(), silent);
}

TEST(Reverb, LengthsAndGainsAt48k) {
  Reverb r;
  prepareReverb(r, 48000);
  const size_t diffusers[24] = {19, 26,  32,  39,  45,  52,  58,  64,  71,  77,  84,  90,
                                97, 103, 110, 116, 123, 129, 136, 142, 149, 155, 162, 168};
  for (int k = 0; k < 24; ++k) EXPECT_EQ(r.allpass[k].size(), diffusers[k]) << k;
  const size_t lines[8] = {658, 926, 1243, 1637, 2146, 2798, 3557, 4642};
  const size_t inner[8] = {90, 126, 172, 227, 294, 389, 493, 643};
  const float gains[8] = {0.93305f, 0.90700f, 0.87699f, 0.84128f, 0.79753f, 0.74410f, 0.68693f, 0.61263f};
  for (int j = 0; j < 8; ++j) {
    EXPECT_EQ(r.line[j].size(), lines[j]) << j;
    EXPECT_EQ(r.lineAllpass[j].size(), inner[j]) << j;
    EXPECT_NEAR(r.lineGain[j], gains[j], 1e-5f) << j;
  }
  // Very low rates still give usable buffers.
  prepareReverb(r, 10);
  for (const auto& b : r.allpass) EXPECT_EQ(b.size(), 2u);
}

TEST(Reverb, AtZeroItPassesTheInputAndNeverTouchesItsBuffers) {
  Reverb r;
  prepareReverb(r, 48000);
  setReverbAmount(r, 0.0f);
  EXPECT_TRUE(test::passesBitForBit([&](float x) { return processReverb(r, x); }));
  EXPECT_TRUE(r.clearPending);
  EXPECT_TRUE(allSilent(r));
  EXPECT_EQ(r.lineIndex[0], 0);
}

TEST(Reverb, AmountIsClamped) {
  Reverb r;
  prepareReverb(r, 48000);
  setReverbAmount(r, 1.7f);
  EXPECT_EQ(r.amount, 1.0f);
  setReverbAmount(r, -0.2f);
  EXPECT_EQ(r.amount, 0.0f);
  setReverbAmount(r, std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(r.amount, 0.0f);
}

TEST(Reverb, WetSignalStartsWhenTheShortestLineReturns) {
  Reverb r;
  setReverbAmount(r, 1.0f);
  prepareReverb(r, 48000);
  EXPECT_EQ(r.wet, 1.0f);
  EXPECT_EQ(processReverb(r, 1.0f), 1.0f);
  for (int i = 1; i < 658; ++i) ASSERT_EQ(processReverb(r, 0.0f), 0.0f) << i;
  EXPECT_NE(processReverb(r, 0.0f), 0.0f);
}

TEST(Reverb, TailDecaysByAboutSixtyDecibelsInItsDecayTime) {
  Reverb r;
  setReverbAmount(r, 1.0f);
  prepareReverb(r, 48000);
  std::vector<float> out(48000 * 3);
  for (size_t i = 0; i < out.size(); ++i) out[i] = processReverb(r, i < 48 ? 0.5f : 0.0f);
  const float early = test::rms(out, 4800, 9600);
  float previous = early;
  for (size_t from = 9600; from + 4800 <= out.size(); from += 4800) {
    const float level = test::rms(out, from, from + 4800);
    EXPECT_LT(level, previous) << from;
    previous = level;
  }
  const float late = test::rms(out, 4800 + 74496, 9600 + 74496);  // 1.552 s later
  const float drop = 20.0f * std::log10(early / late);
  EXPECT_GT(drop, 45.0f);
  EXPECT_LT(drop, 75.0f);
}

TEST(Reverb, WakingFromIdleClearsAndFadesInThenFadesBackToIdle) {
  Reverb r;
  setReverbAmount(r, 0.5f);
  prepareReverb(r, 48000);
  for (int i = 0; i < 4800; ++i) processReverb(r, std::sin(0.1f * static_cast<float>(i)));
  setReverbAmount(r, 0.0f);
  int n = 0;
  for (; !r.clearPending && n < 48000; ++n) processReverb(r, 0.0f);
  ASSERT_TRUE(r.clearPending);
  EXPECT_EQ(r.wet, 0.0f);
  EXPECT_FALSE(allSilent(r));  // the tail stays in the buffers while idle

  setReverbAmount(r, 0.5f);
  EXPECT_TRUE(allSilent(r));
  EXPECT_FALSE(r.clearPending);
  EXPECT_EQ(r.wet, 0.0f);
  processReverb(r, 0.0f);
  EXPECT_GT(r.wet, 0.0f);
  EXPECT_LT(r.wet, 0.01f);
  for (int i = 0; i < 4800 && r.wet != 0.5f; ++i) processReverb(r, 0.0f);
  EXPECT_EQ(r.wet, 0.5f);
}

TEST(Reverb, NonFiniteInputEntersTheNetworkAsSilence) {
  Reverb r;
  setReverbAmount(r, 1.0f);
  prepareReverb(r, 48000);
  for (int i = 0; i < 1000; ++i) processReverb(r, std::sin(0.1f * static_cast<float>(i)));
  EXPECT_TRUE(std::isnan(processReverb(r, std::numeric_limits<float>::quiet_NaN())));
  EXPECT_TRUE(std::isinf(processReverb(r, std::numeric_limits<float>::infinity())));
  for (int i = 0; i < 10000; ++i) ASSERT_TRUE(std::isfinite(processReverb(r, 0.0f))) << i;
  EXPECT_NE(r.lowpassState, 0.0f);
}

}  // namespace
}  // namespace corva
