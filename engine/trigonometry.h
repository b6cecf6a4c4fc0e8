#pragma once
// The engine's own sine, cosine and single-precision tanh for filter design and
// saturation, so that no coefficient or sample depends on which variant of the system's
// math library a machine runs. Accurate to a few ulp of a double for arguments up to
// about 1e5 in magnitude, far more than the single-precision values they feed need.

#include <cstdint>

#include "engine/exponential.h"

namespace corva {

namespace trigonometry_detail {

// sin and cos on |r| <= pi/4: Taylor series through r^17 and r^16.
constexpr double sinReduced(double r) {
  const double r2 = r * r;
  double s = 1.0 / 355687428096000.0;  // 1/17!
  // -1/15!, 1/13!, -1/11!, 1/9!, -1/7!, 1/5!, -1/3!
  constexpr double kOdd[] = {-1.0 / 1307674368000.0, 1.0 / 6227020800.0, -1.0 / 39916800.0, 1.0 / 362880.0,
                             -1.0 / 5040.0,          1.0 / 120.0,        -1.0 / 6.0};
  for (double c : kOdd) s = s * r2 + c;
  return r + r * r2 * s;
}

constexpr double cosReduced(double r) {
  const double r2 = r * r;
  double c = 1.0 / 20922789888000.0;  // 1/16!
  constexpr double kEven[] = {
      -1.0 / 87178291200.0, 1.0 / 479001600.0, -1.0 / 3628800.0, 1.0 / 40320.0, -1.0 / 720.0, 1.0 / 24.0, -0.5};
  for (double k : kEven) c = c * r2 + k;
  return 1.0 + r2 * c;
}

// x = n pi/2 + r with |r| <= pi/4; pi/2 is split in three parts, the first two of 33
// bits, so that their products with n are exact for |n| < 2^20.
struct Quadrant {
  std::int64_t n;
  double r;
};

constexpr Quadrant reduceQuarterTurns(double x) {
  constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
  constexpr double kPiOver2A = 0x1.921fb544p+0;
  constexpr double kPiOver2B = 0x1.0b4611a6p-34;
  constexpr double kPiOver2C = 0x1.3198a2e037073p-69;
  if (!(x > -1e9 && x < 1e9)) return {0, x - x};  // NaN for an infinity or NaN
  const double t = x * kTwoOverPi;
  const double n = static_cast<double>(static_cast<std::int64_t>(t < 0.0 ? t - 0.5 : t + 0.5));
  return {static_cast<std::int64_t>(n), ((x - n * kPiOver2A) - n * kPiOver2B) - n * kPiOver2C};
}

}  // namespace trigonometry_detail

constexpr double sine(double x) {
  using namespace trigonometry_detail;
  const Quadrant q = reduceQuarterTurns(x);
  switch (q.n & 3) {
    case 0:
      return sinReduced(q.r);
    case 1:
      return cosReduced(q.r);
    case 2:
      return -sinReduced(q.r);
    default:
      return -cosReduced(q.r);
  }
}

constexpr double cosine(double x) {
  using namespace trigonometry_detail;
  const Quadrant q = reduceQuarterTurns(x);
  switch (q.n & 3) {
    case 0:
      return cosReduced(q.r);
    case 1:
      return -sinReduced(q.r);
    case 2:
      return -cosReduced(q.r);
    default:
      return sinReduced(q.r);
  }
}

// tanh in single precision, computed in double as 1 - 2 / (exp(2|x|) + 1); below 2^-13
// tanh(x) rounds to x itself. A NaN stays NaN.
constexpr float hyperbolicTangent(float x) {
  const double a = x < 0.0f ? -static_cast<double>(x) : static_cast<double>(x);
  if (!(a >= 0x1p-13)) return x;
  const double t = a > 20.0 ? 1.0 : 1.0 - 2.0 / (exponential(2.0 * a) + 1.0);
  return static_cast<float>(x < 0.0f ? -t : t);
}

}  // namespace corva
