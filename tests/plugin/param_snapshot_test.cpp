#include "plugin/param_snapshot.h"

#include <gtest/gtest.h>

namespace {

using namespace corva;

struct Values {
  double v[kNumParams];
  Values() {
    for (int i = 0; i < kNumParams; ++i) v[i] = kParamTable[i].defaultValue;
  }
};

TEST(ParamSnapshot, HalfIsOffForButtonsButOnForTheEcho) {
  Values p;
  for (int i : {kTrigger, kCorvaBtn, kToneBtn, kHold, kEcho}) p.v[i] = 0.5;
  EngineControls c = engineControlsFromParams(p.v);
  EXPECT_EQ(c.trigger, 0);
  EXPECT_EQ(c.corvaBtn, 0);
  EXPECT_EQ(c.toneBtn, 0);
  EXPECT_EQ(c.hold, 0);
  EXPECT_TRUE(effectParamsFromParams(p.v).echoOn);

  // Buttons compare in single precision: a hair above 0.5 that rounds to 0.5f is still off.
  p.v[kTrigger] = 0.5000000001;
  p.v[kHold] = 0.51;
  p.v[kEcho] = 0.4999999;
  c = engineControlsFromParams(p.v);
  EXPECT_EQ(c.trigger, 0);
  EXPECT_EQ(c.hold, 1);
  EXPECT_FALSE(effectParamsFromParams(p.v).echoOn);
}

TEST(ParamSnapshot, SelectorsRoundAndOversamplingSetsTheCap) {
  Values p;
  p.v[kTone] = 1.5;
  p.v[kMode] = 2.5;
  p.v[kSpeed] = 0.49;
  const int caps[] = {1, 2, 4, 8};
  for (int o = 0; o < 4; ++o) {
    p.v[kOversample] = o;
    const EngineControls c = engineControlsFromParams(p.v);
    EXPECT_EQ(c.oversamplingCap, caps[o]);
    EXPECT_EQ(c.tone, 2);
    EXPECT_EQ(c.mode, 3);
    EXPECT_EQ(c.speed, 0);
    EXPECT_EQ(c.refinement, -1);
    EXPECT_EQ(c.adaptiveCost, 0);
  }
  const EngineControls d = engineControlsFromParams(Values().v);
  EXPECT_EQ(d.supply, 12.2f);
  EXPECT_EQ(d.volume, 1.0f);
  const EffectParams e = effectParamsFromParams(Values().v);
  EXPECT_EQ(e.echoFeedback, 0.35f);
  EXPECT_EQ(e.echoTimeMs, 300.0f);
  EXPECT_EQ(e.reverbAmount, 0.0f);
}

}  // namespace
