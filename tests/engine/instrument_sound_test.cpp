// What a musician hears from the whole instrument (circuit and effects), rendered as
// the plug-in would: pitch with the trigger held, decay after release, and the slow
// sweep that the speed selector drives.

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>

#include "bench/pitch_estimate.h"
#include "bench/render_session.h"

namespace corva {
namespace {

using bench::PitchEstimate;
using bench::RenderResult;
using bench::RenderSettings;

constexpr double kRate = 48000.0;

RenderSettings held(int tone, int mode, int speed, double seconds) {
  RenderSettings s;
  s.seconds = seconds;
  s.sampleRate = kRate;
  s.controls.tone = tone;
  s.controls.mode = mode;
  s.controls.speed = speed;
  return s;
}

std::size_t at(double seconds) { return static_cast<std::size_t>(seconds * kRate); }

PitchEstimate pitchBetween(const RenderResult& r, double from, double to) {
  return bench::estimatePitch(r.audio, at(from), at(to), kRate);
}

TEST(InstrumentSound, HeldTriggerPlaysAPitchThatRisesWithTheToneSelector) {
  double previous = 0.0;
  for (int tone = 0; tone < 4; ++tone) {
    const RenderResult r = bench::render(held(tone, 0, 1, 0.8));
    ASSERT_TRUE(r.finite);
    const PitchEstimate p = pitchBetween(r, 0.3, 0.8);
    EXPECT_GT(p.rms, 0.05) << "tone " << tone;
    EXPECT_GT(p.meanHz, 60.0) << "tone " << tone;
    EXPECT_LT(p.meanHz, 4000.0) << "tone " << tone;
    EXPECT_GT(p.meanHz, previous * 1.3) << "tone " << tone;
    previous = p.meanHz;
    EXPECT_LE(r.peak, 0.9661f);  // the limiter holds every peak below full scale
  }
}

TEST(InstrumentSound, ReleasingTheGateLetsTheToneDieAway) {
  RenderSettings s = held(1, 0, 1, 2.0);
  s.trigger.kind = bench::TriggerPattern::Kind::releaseAt;
  s.trigger.releaseSeconds = 0.4;
  const RenderResult r = bench::render(s);
  ASSERT_TRUE(r.finite);
  // While held the tone moves by large steps from sample to sample...
  float heldMotion = 0.0f;
  for (std::size_t i = at(0.2); i < at(0.4); ++i)
    heldMotion = std::max(heldMotion, std::fabs(r.audio[i] - r.audio[i - 1]));
  EXPECT_GT(heldMotion, 0.05f);
  // ...after release only the DC blocker's slow settling remains, falling towards 0.
  float tailMotion = 0.0f;
  for (std::size_t i = at(1.5); i < at(2.0); ++i)
    tailMotion = std::max(tailMotion, std::fabs(r.audio[i] - r.audio[i - 1]));
  EXPECT_LT(tailMotion, 1e-4f);
  EXPECT_LT(std::fabs(r.audio[at(2.0) - 1]), std::fabs(r.audio[at(1.5)]));
  EXPECT_EQ(bench::estimatePitch(r.audio, at(1.5), at(2.0), kRate).meanHz, 0.0);
}

TEST(InstrumentSound, SpeedOffStopsTheSlowSweep) {
  // Mode 3 feeds both tone bases from the slow oscillator's square wave.
  const RenderResult sweeping = bench::render(held(2, 2, 0, 1.2));
  const RenderResult still = bench::render(held(2, 2, 3, 1.2));
  const PitchEstimate a = pitchBetween(sweeping, 0.4, 1.2);
  const PitchEstimate b = pitchBetween(still, 0.4, 1.2);
  ASSERT_GT(a.meanHz, 0.0);
  ASSERT_GT(b.meanHz, 0.0);
  EXPECT_GT(a.highHz / a.lowHz, 1.15);
  EXPECT_LT(b.highHz / b.lowHz, 1.03);
}

TEST(InstrumentSound, SmallBlocksAndHighRatesPlayTheSamePitch) {
  // A step the main circuit cannot finish within one small block's evaluations used to
  // be retried from scratch every block, freezing the slow oscillator for good.
  struct Case {
    double rate;
    int block;
    int laterBlock;  // from 0.3 s on, when above 0
    int speed;
  };
  const auto pitchOf = [](const Case& c) {
    RenderSettings s = held(1, 0, c.speed, 1.2);
    s.sampleRate = c.rate;
    s.blockSize = c.block;
    s.laterBlockSize = c.laterBlock;
    s.laterSeconds = 0.3;
    const RenderResult r = bench::render(s);
    EXPECT_TRUE(r.finite);
    const auto sample = [&](double t) { return static_cast<std::size_t>(t * c.rate); };
    return bench::estimatePitch(r.audio, sample(0.4), sample(1.2), c.rate);
  };
  for (const Case& c : {Case{192000, 64, 0, 2}, Case{48000, 1, 0, 1}, Case{192000, 64, 1, 1}}) {
    const double referenceHz = pitchOf(Case{48000, 512, 0, c.speed}).meanHz;
    const PitchEstimate p = pitchOf(c);
    ASSERT_GT(p.meanHz, 0.0) << c.rate << " Hz, block " << c.block << " then " << c.laterBlock;
    EXPECT_NEAR(1200.0 * std::log2(p.meanHz / referenceHz), 0.0, 10.0)
        << c.rate << " Hz, block " << c.block << " then " << c.laterBlock;
    EXPECT_GT(p.highHz / p.lowHz, 1.05) << "the slow oscillator sweeps the pitch";
  }
}

}  // namespace
}  // namespace corva
