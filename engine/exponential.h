#pragma once
// The engine's own exponential, so that its sound does not depend on which variant of the
// system's math library a machine runs. exp(x) = 2^m 2^(j/128) exp(r) with k = 128 m + j
// the integer nearest x 128 / ln 2 and |r| <= ln 2 / 256; 2^(j/128) comes from a table
// (engine/exponential_table.h) as a double and its rest, exp(r) = 1 + r + r^2 Q(r) with
// Q a polynomial fitted by scripts/exp-coefficients.py (which prints these constants and
// the table). The error stays within 1 ulp for every x whose result is a normal double.
//
// The arithmetic is one template for a double and for a vector of doubles (GCC vector
// extensions): each lane performs the same IEEE operations in the same order, and the
// sources that include this are compiled without contraction of a product and a sum into
// one rounding, so a vector lane equals the scalar result bit for bit on every x86-64 CPU.

#include <bit>
#include <cstdint>
#include <limits>

#include "engine/exponential_table.h"

namespace corva {

namespace exponential_detail {

inline constexpr double kInverseStep = 0x1.71547652b82fep+7;  // 128 / ln 2
// ln 2 / 128 = head + tail; head has 35 significant bits, so k * head is exact for
// |k| < 2^18.
inline constexpr double kStepHead = 0x1.62e42fefa0000p-8;
inline constexpr double kStepTail = 0x1.cf79abc9e3b3ap-47;
// ln 2 = head + tail, head with 42 significant bits (for the logarithm).
inline constexpr double kLn2Head = 0x1.62e42fefa3800p-1;
inline constexpr double kLn2Tail = 0x1.ef35793c76730p-45;
// Adding it rounds a value below 2^51 in magnitude to an integer, which then sits in the
// low bits of the sum's representation.
inline constexpr double kRoundingShift = 0x1.8p52;
// Arguments up to this magnitude give a power 2^m within the normal exponents.
inline constexpr double kFastLimit = 708.0;
// Q(r), lowest power first.
inline constexpr double kQ[4] = {0x1.fffffffffff57p-2, 0x1.5555555555525p-3, 0x1.55555acf8df82p-5,
                                 0x1.1111143255ff1p-7};

// The table entry of the shifted sum's low 7 bits (j), for one double.
struct ScalarTable {
  struct Entry {
    double head, rest;
  };
  constexpr Entry operator()(double shifted) const {
    const auto j = static_cast<unsigned>(std::bit_cast<std::uint64_t>(shifted) & 127);
    return {kPowersOfTwo[j][0], kPowersOfTwo[j][1]};
  }
};

// 2^(j/128) exp(r) for the reduced argument, and the shifted sum whose low bits hold k.
// T is double or a vector of doubles (operations between a vector and a double apply the
// double to every lane); table(shifted) gives 2^(j/128) as head and rest for each lane.
template <typename T>
struct Reduced {
  T mantissa;  // in [0.99, 2.01]
  T shifted;   // x 128 / ln 2 + kRoundingShift, rounded: k in its low bits
};

template <typename T, typename Table = ScalarTable>
constexpr Reduced<T> reduce(T x, Table table = {}) {
  const T shifted = x * kInverseStep + kRoundingShift;
  const T k = shifted - kRoundingShift;
  const T r1 = x - k * kStepHead;  // exact
  const T p = k * kStepTail;
  const T r = r1 - p;
  const T rLow = (r1 - r) - p;  // what the rounding of r dropped
  const T r2 = r * r;
  const T q = (kQ[0] + kQ[1] * r) + (kQ[2] + kQ[3] * r) * r2;
  const T c = r + (r2 * q + rLow);  // exp(r) - 1
  const auto power = table(shifted);
  // 2^(j/128) (1 + c), with only the last addition rounding a quantity of the result's
  // size (the rest times c is below the result's last bit).
  return {power.head + (power.rest + power.head * c), shifted};
}

// 2^m for -1022 <= m <= 1023, m = floor(k / 128), from the shifted sum of reduce: its low
// 52 bits hold 2^51 + k, so shifting the whole representation right by 7 and back left by
// 52 leaves m in the exponent field (the rest shifts out).
constexpr double powerOfTwo(double shifted) {
  return std::bit_cast<double>(((std::bit_cast<std::uint64_t>(shifted) >> 7) << 52) +
                               std::bit_cast<std::uint64_t>(1.0));
}

// Beyond the fast range: overflow, underflow through the subnormals, NaN.
constexpr double exponentialOutside(double x) {
  if (x != x) return x + x;
  if (x > 709.782712893384) return std::numeric_limits<double>::infinity();
  if (x < -745.2) return 0.0;
  const Reduced<double> d = reduce(x);
  const auto k = static_cast<std::int64_t>(d.shifted - kRoundingShift);
  const std::int64_t m = k >= 0 ? k / 128 : -((-k + 127) / 128);  // floor(k / 128)
  // Two factors, each a normal power of two.
  const std::int64_t half = m / 2;
  const double first = std::bit_cast<double>(static_cast<std::uint64_t>(half + 1023) << 52);
  const double second = std::bit_cast<double>(static_cast<std::uint64_t>(m - half + 1023) << 52);
  return d.mantissa * first * second;
}

}  // namespace exponential_detail

// exp(x) within 1 ulp, the same on every machine.
constexpr double exponential(double x) {
  using namespace exponential_detail;
  if (!(x <= kFastLimit && x >= -kFastLimit)) [[unlikely]]
    return exponentialOutside(x);
  const Reduced<double> d = reduce(x);
  return d.mantissa * powerOfTwo(d.shifted);
}

// exp of a single-precision value, computed in double and rounded once.
constexpr float exponential(float x) { return static_cast<float>(exponential(static_cast<double>(x))); }

}  // namespace corva
