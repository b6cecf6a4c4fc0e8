// The engine's own exponential, logarithm, sine, cosine and tanh against the long-double
// library functions, over the arguments the circuits and filters use and at the edges.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "engine/exponential.h"
#include "engine/logarithm.h"
#include "engine/trigonometry.h"

namespace corva {
namespace {

// |got - want| in units of the last place of got.
double ulpError(double got, long double want) {
  const double ulp = std::nextafter(got, std::numeric_limits<double>::infinity()) - got;
  return static_cast<double>(std::fabs(static_cast<long double>(got) - want) / ulp);
}

TEST(EngineMath, FunctionsMatchTheLongDoubleLibrary) {
  std::mt19937_64 random(7);
  double worstExp = 0.0, worstLog = 0.0, worstTrig = 0.0;
  for (int i = 0; i < 200000; ++i) {
    // Junction arguments (v / VT for a few volts either way), then the whole normal range.
    const double x = std::uniform_real_distribution<double>(i % 2 ? -708.0 : -60.0, i % 2 ? 709.0 : 40.0)(random);
    worstExp = std::max(worstExp, ulpError(exponential(x), std::exp(static_cast<long double>(x))));
    const double y = std::exp(std::uniform_real_distribution<double>(-50.0, 50.0)(random));
    const long double ln = std::log(static_cast<long double>(y));
    worstLog = std::max(worstLog, static_cast<double>(std::fabs(logarithm(y) - ln) / std::max(1.0L, std::fabs(ln))));
    const double a = std::uniform_real_distribution<double>(-100.0, 100.0)(random);
    worstTrig = std::max({worstTrig, std::fabs(sine(a) - static_cast<double>(std::sin(static_cast<long double>(a)))),
                          std::fabs(cosine(a) - static_cast<double>(std::cos(static_cast<long double>(a))))});
  }
  EXPECT_LE(worstExp, 1.0);
  EXPECT_LE(worstLog, 1e-15);
  EXPECT_LE(worstTrig, 1e-15);
  EXPECT_EQ(exponential(0.0), 1.0);
  EXPECT_EQ(exponential(1e-300), 1.0);
  EXPECT_EQ(exponential(710.0), std::numeric_limits<double>::infinity());
  EXPECT_EQ(exponential(-746.0), 0.0);
  EXPECT_NEAR(exponential(-720.0) / std::exp(-720.0), 1.0, 1e-9);  // through the subnormals
  EXPECT_TRUE(std::isnan(exponential(std::numeric_limits<double>::quiet_NaN())));
  EXPECT_EQ(logarithm(1.0), 0.0);
  EXPECT_TRUE(std::isnan(logarithm(-1.0)));
  EXPECT_EQ(logarithm(0.0), -std::numeric_limits<double>::infinity());
  for (float t : {0.0f, 1e-5f, 0.3f, -0.7f, 2.0f, 9.0f, 30.0f, -100.0f})
    EXPECT_NEAR(hyperbolicTangent(t), std::tanh(t), 1e-7f * std::max(1.0f, std::fabs(t))) << t;
}

}  // namespace
}  // namespace corva
