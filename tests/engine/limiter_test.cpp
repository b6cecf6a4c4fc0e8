#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>

#include "tests/engine/effects_test_util.h"

namespace corva {
namespace {

using test::runChain;

constexpr float kCeiling = 0.96605f;

TEST(Limiter, SizesFollowTheSampleRate) {
  struct Case {
    double rate;
    int lookahead;
    size_t echoLine;
  };
  for (const Case& k : {Case{44100, 66, 37493}, Case{48000, 72, 40808}, Case{96000, 144, 81608}, Case{1, 1, 9}}) {
    EffectsChain c;
    prepareEffects(c, k.rate);
    EXPECT_EQ(c.lookahead, k.lookahead) << k.rate;
    EXPECT_EQ(c.delayRing, std::vector<float>(static_cast<size_t>(k.lookahead), 0.0f)) << k.rate;
    EXPECT_EQ(c.windowCapacity, k.lookahead + 2) << k.rate;
    EXPECT_EQ(c.windowGains.size(), c.windowIndices.size());
    EXPECT_EQ(c.echo.buffer.size(), k.echoLine) << k.rate;
  }
}

TEST(Limiter, BelowTheCeilingOutputIsTheInputDelayedBitForBit) {
  EffectsChain c;
  prepareEffects(c, 48000);
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> dist(-kCeiling, kCeiling);
  std::vector<float> in(4000);
  for (float& v : in) v = dist(rng);
  in[100] = kCeiling;
  in[101] = -kCeiling;
  std::vector<float> out = in;
  ASSERT_TRUE(runChain(c, out, 61));
  EXPECT_EQ(c.gain, 1.0);
  for (size_t i = 0; i < out.size(); ++i) {
    const float expected = i < 72 ? 0.0f : in[i - 72];
    ASSERT_EQ(std::memcmp(&out[i], &expected, sizeof(float)), 0) << i;
  }
}

TEST(Limiter, PeakIsHeldToTheCeilingAndReleasedToTransparency) {
  EffectsChain c;
  prepareEffects(c, 48000);
  // A steady 0.5 with one 2.0 peak, then three seconds for the release.
  std::vector<float> in(48000 * 3, 0.5f);
  const size_t peak = 1000;
  in[peak] = 2.0f;
  std::vector<float> out = in;
  runChain(c, out);
  const size_t leaves = peak + 72;
  EXPECT_EQ(out[leaves], kCeiling);
  // The gain is already falling before the peak comes out, and keeps falling up to it.
  // The peak is seen as it enters the delay line, lookahead samples before it comes out.
  EXPECT_EQ(out[peak - 1], 0.5f);
  EXPECT_LT(out[peak], 0.5f);
  for (size_t i = peak; i < leaves - 1; ++i) EXPECT_LT(out[i + 1], out[i]) << i;
  // After the peak leaves the window the gain recovers, with a 100 ms time constant.
  EXPECT_LT(out[leaves + 2400], 0.5f);
  EXPECT_GT(out[leaves + 2400], out[leaves + 100]);
  EXPECT_EQ(out.back(), 0.5f);
  EXPECT_EQ(c.gain, 1.0);
}

TEST(Limiter, LoudSignalsNeverExceedTheCeiling) {
  EffectsChain c;
  prepareEffects(c, 44100);
  test::setParams(c, true, 1.0f, 40.0f, 1.0f);
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> dist(-40.0f, 40.0f);
  std::vector<float> out(44100);
  for (float& v : out) v = dist(rng);
  runChain(c, out, 100);
  // Within the ceiling up to the rounding of the float gain (one part in a million).
  for (float v : out) ASSERT_LE(std::fabs(v), kCeiling * (1.0f + 1e-6f));
}

TEST(Limiter, NonFiniteSamplesBecomeSilenceWithoutHarmingTheRest) {
  EffectsChain c;
  prepareEffects(c, 48000);
  std::vector<float> in(400, 0.25f);
  in[10] = std::numeric_limits<float>::quiet_NaN();
  in[11] = std::numeric_limits<float>::infinity();
  in[12] = -std::numeric_limits<float>::infinity();
  std::vector<float> out = in;
  runChain(c, out);
  for (size_t i = 72; i < out.size(); ++i) {
    const float expected = (i >= 82 && i <= 84) ? 0.0f : 0.25f;
    EXPECT_EQ(out[i], expected) << i;
  }
  EXPECT_EQ(c.gain, 1.0);
}

TEST(Chain, ChannelCountsAndEmptyBlocks) {
  EffectsChain c;
  prepareEffects(c, 48000);
  test::setParams(c, true, 0.5f, 100.0f, 0.5f);
  std::vector<float> a(32, 0.3f), b(32, 7.0f), d(32, 9.0f);
  float* outs[3] = {a.data(), b.data(), d.data()};

  // No channels (or a negative count), or no frames: nothing is touched, no state advances.
  for (auto [chans, frames] : {std::pair{0, 32}, std::pair{-1, 32}, std::pair{3, 0}, std::pair{3, -5}}) {
    processEffects(c, outs, chans, frames);
    EXPECT_EQ(a, std::vector<float>(32, 0.3f));
    EXPECT_EQ(b, std::vector<float>(32, 7.0f));
    EXPECT_EQ(c.sampleCounter, 0);
    EXPECT_EQ(c.echo.writeIndex, 0);
  }
  // One channel: processed, nothing copied.
  processEffects(c, outs, 1, 32);
  EXPECT_EQ(c.sampleCounter, 32);
  EXPECT_EQ(b, std::vector<float>(32, 7.0f));
  // Three channels: every other channel receives a copy of the first.
  std::fill(a.begin(), a.end(), 0.3f);
  processEffects(c, outs, 3, 32);
  EXPECT_EQ(b, a);
  EXPECT_EQ(d, a);
}

TEST(Chain, UnpreparedOrBadRateLeavesEverythingAlone) {
  EffectsChain c;
  std::vector<float> a(16, 0.5f), b(16, 2.0f);
  float* outs[2] = {a.data(), b.data()};
  processEffects(c, outs, 2, 16);
  EXPECT_EQ(a, std::vector<float>(16, 0.5f));
  EXPECT_EQ(b, std::vector<float>(16, 2.0f));
  for (double bad : {0.0, -44100.0, std::nan(""), std::numeric_limits<double>::infinity(), 1e12}) {
    prepareEffects(c, bad);
    EXPECT_TRUE(c.delayRing.empty()) << bad;
  }
  prepareEffects(c, 44100);
  prepareEffects(c, std::nan(""));
  EXPECT_EQ(c.lookahead, 66);
  EXPECT_EQ(c.sampleRate, 44100.0f);
}

}  // namespace
}  // namespace corva
