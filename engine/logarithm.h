#pragma once
// The engine's own natural logarithm (a few ulp), so that no value on the audio path
// depends on which variant of the system's math library a machine runs.
// x = 2^e m with m in [sqrt(1/2), sqrt(2)); ln m = 2 atanh(f) with f = (m - 1) / (m + 1),
// |f| < 0.172, summed as the series 2 (f + f^3/3 + f^5/5 + ...).

#include <bit>
#include <cstdint>
#include <limits>

#include "engine/exponential.h"

namespace corva {

constexpr double logarithm(double x) {
  using exponential_detail::kLn2Head;
  using exponential_detail::kLn2Tail;
  if (!(x >= 0x1p-1022 && x <= std::numeric_limits<double>::max())) {
    if (x != x || x < 0.0) return std::numeric_limits<double>::quiet_NaN();
    if (x == 0.0) return -std::numeric_limits<double>::infinity();
    if (x > 1.0) return x;                                        // +infinity
    return logarithm(x * 0x1p54) - 54.0 * (kLn2Head + kLn2Tail);  // subnormal
  }
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
  double e = static_cast<double>(static_cast<std::int64_t>(bits >> 52) - 1023);
  double m = std::bit_cast<double>((bits & 0x000fffffffffffffULL) | std::bit_cast<std::uint64_t>(1.0));
  if (m > 0x1.6a09e667f3bcdp+0) {  // sqrt(2)
    m *= 0.5;
    e += 1.0;
  }
  const double f = (m - 1.0) / (m + 1.0);
  const double f2 = f * f;
  double series = 1.0 / 21.0;
  for (int n = 9; n >= 1; --n) series = series * f2 + 1.0 / (2 * n + 1);
  const double lnM = 2.0 * f + 2.0 * f * f2 * series;
  return e * kLn2Head + (e * kLn2Tail + lnM);
}

}  // namespace corva
