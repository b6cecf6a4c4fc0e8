#include "framework/iparam.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using iplug::IParam;

TEST(IParam, ExponentialShapeMapsGeometrically) {
  IParam p;
  p.InitDouble("Time", 300.0, 40.0, 800.0, 0.001, "", 0, "", IParam::ShapeExp());
  EXPECT_NEAR(p.FromNormalized(0.5), 40.0 * std::sqrt(20.0), 1e-3);  // about 178.9, not 420
  EXPECT_NEAR(p.FromNormalized(0.0), 40.0, 1e-9);
  EXPECT_NEAR(p.FromNormalized(1.0), 800.0, 1e-9);
  EXPECT_NEAR(p.ToNormalized(40.0 * std::sqrt(20.0)), 0.5, 1e-9);
  EXPECT_DOUBLE_EQ(p.Value(), 300.0);
  // Out-of-range values clamp in both directions.
  EXPECT_DOUBLE_EQ(p.ToNormalized(1000.0), 1.0);
  EXPECT_DOUBLE_EQ(p.ToNormalized(1.0), 0.0);
  p.Set(1000.0);
  EXPECT_DOUBLE_EQ(p.Value(), 800.0);
}

TEST(IParam, ConstrainRoundsOnlySteppedParameters) {
  IParam e;
  e.InitEnum("Tone", 1, 4);
  EXPECT_TRUE(e.GetStepped());
  EXPECT_DOUBLE_EQ(e.Constrain(1.6), 2.0);
  EXPECT_DOUBLE_EQ(e.Constrain(7.0), 3.0);
  EXPECT_DOUBLE_EQ(e.FromNormalized(0.5), 2.0);  // 1.5 rounds half away from zero
  EXPECT_DOUBLE_EQ(e.ToNormalized(2.0), 2.0 / 3.0);

  IParam d;
  d.InitDouble("Volume", 1.0, 0.0, 1.0, 0.001);
  EXPECT_FALSE(d.GetStepped());
  EXPECT_DOUBLE_EQ(d.Constrain(0.12345), 0.12345);
  EXPECT_DOUBLE_EQ(d.Constrain(-2.0), 0.0);
}

TEST(IParam, NonFiniteInputNeverLeavesTheRange) {
  IParam d;
  d.InitDouble("Supply", 12.2, 6.0, 15.0, 0.001);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  d.Set(nan);
  EXPECT_DOUBLE_EQ(d.Value(), 6.0);
  d.Set(inf);
  EXPECT_DOUBLE_EQ(d.Value(), 15.0);
  d.SetNormalized(nan);
  EXPECT_DOUBLE_EQ(d.Value(), 6.0);
  EXPECT_DOUBLE_EQ(d.ToNormalized(nan), 0.0);

  IParam e;
  e.InitEnum("Mode", 0, 4);
  e.Set(-inf);
  EXPECT_DOUBLE_EQ(e.Value(), 0.0);
}

TEST(IParam, DisplayTexts) {
  IParam e;
  e.InitEnum("Speed", 1, 4);
  const char* labels[] = {"1", "2", "3", "OFF"};
  for (int j = 0; j < 4; ++j) e.SetDisplayText(j, labels[j]);
  EXPECT_EQ(e.GetDisplay(), "2");
  EXPECT_EQ(e.GetDisplay(1.0, true), "OFF");
  EXPECT_EQ(e.NDisplayTexts(), 4);
  double v = -1;
  EXPECT_STREQ(e.GetDisplayTextAtIdx(3, &v), "OFF");
  EXPECT_DOUBLE_EQ(v, 3.0);
  EXPECT_EQ(e.GetDisplayTextAtIdx(4), nullptr);

  IParam b;
  b.InitBool("Hold", false);
  EXPECT_EQ(b.GetDisplay(), "off");
  b.Set(1.0);
  EXPECT_EQ(b.GetDisplay(), "on");
  EXPECT_EQ(b.Type(), IParam::kTypeBool);

  IParam d;
  d.InitDouble("Supply", static_cast<double>(12.2f), 6.0, 15.0, 0.001);
  EXPECT_EQ(d.GetDisplay(), "12.200");
  EXPECT_EQ(d.GetDisplayPrecision(), 3);
  // The single-precision default reaches the value widened, not re-rounded.
  EXPECT_EQ(d.Value(), 12.199999809265137);
}

TEST(IParam, FlagsAndAutomation) {
  IParam d;
  d.InitDouble("LED Level", 0.0, 0.0, 1.0, 0.001, "", iplug::kFlagCannotAutomate);
  EXPECT_FALSE(d.GetCanAutomate());
  IParam e;
  e.InitEnum("Tone", 1, 4);
  EXPECT_TRUE(e.GetCanAutomate());
  EXPECT_STREQ(e.GetName(), "Tone");
  EXPECT_EQ(e.Type(), IParam::kTypeEnum);
  EXPECT_DOUBLE_EQ(e.GetMax(), 3.0);
}

}  // namespace
