#pragma once
// The engine's own exponential, so that its sound does not depend on which variant of the
// system's math library a machine runs. exp(x) = 2^k exp(r) with k the integer nearest
// x / ln 2 and |r| <= ln 2 / 2; exp(r) = 1 + r + r^2 Q(r) with Q a polynomial fitted by
// scripts/exp-coefficients.py (which prints these constants). The error stays within
// 1 ulp for every x whose result is a normal double.
//
// The arithmetic is one template for a double and for a vector of doubles (GCC vector
// extensions, so __m256d works too): each lane performs the same IEEE operations in the
// same order, and the sources that include this are compiled without contraction of a
// product and a sum into one rounding, so a vector lane equals the scalar result bit for
// bit on every x86-64 CPU.

#include <bit>
#include <cstdint>
#include <limits>

namespace corva {

namespace exponential_detail {

inline constexpr double kInverseLn2 = 0x1.71547652b82fep+0;
// ln 2 = head + tail; head has 42 significant bits, so k * head is exact for |k| < 2^11.
inline constexpr double kLn2Head = 0x1.62e42fefa3800p-1;
inline constexpr double kLn2Tail = 0x1.ef35793c76730p-45;
// Adding it rounds a value below 2^51 in magnitude to an integer, which then sits in the
// low bits of the sum's representation.
inline constexpr double kRoundingShift = 0x1.8p52;
// Arguments up to this magnitude give a reduction count within the normal exponents.
inline constexpr double kFastLimit = 708.0;
// Q(r), lowest power first.
inline constexpr double kQ[11] = {
    0x1.0000000000000p-1, 0x1.5555555555557p-3, 0x1.5555555555556p-5, 0x1.11111111100dcp-7,
    0x1.6c16c16c162d4p-10, 0x1.a01a01abe7fe1p-13, 0x1.a01a01a6d889cp-16, 0x1.71de0231960ebp-19,
    0x1.27e4db646b17ep-22, 0x1.af4de97ca4194p-26, 0x1.1f730349868cep-29,
};

// exp(r) for the reduced argument, and the shifted sum whose low bits hold k. T is double
// or a vector of doubles; operations between a vector and a double apply the double to
// every lane.
template <typename T>
struct Reduced {
  T mantissa;  // exp(r), in [0.70, 1.42]
  T shifted;   // x / ln 2 + kRoundingShift, rounded: k in its low bits
};

template <typename T>
constexpr Reduced<T> reduce(T x) {
  const T shifted = x * kInverseLn2 + kRoundingShift;
  const T k = shifted - kRoundingShift;
  const T r1 = x - k * kLn2Head;  // exact
  const T p = k * kLn2Tail;
  const T r = r1 - p;
  const T rLow = (r1 - r) - p;  // what the rounding of r dropped
  // Q(r) in pairs and powers of r (Estrin's scheme): a short chain of dependent
  // operations, so that the polynomial takes few cycles.
  const T r2 = r * r;
  const T r4 = r2 * r2;
  const T r8 = r4 * r4;
  const T q01 = kQ[0] + kQ[1] * r, q23 = kQ[2] + kQ[3] * r, q45 = kQ[4] + kQ[5] * r;
  const T q67 = kQ[6] + kQ[7] * r, q89 = kQ[8] + kQ[9] * r;
  const T q03 = q01 + q23 * r2, q47 = q45 + q67 * r2, q810 = q89 + kQ[10] * r2;
  const T q = (q03 + q47 * r4) + q810 * r8;
  const T t = r2 * q;
  // 1 + r split exactly into head and low part, so that only the last addition rounds
  // a quantity of the result's size.
  const T head = 1.0 + r;
  const T low = (1.0 - head) + r;
  return {head + (low + (t + rLow)), shifted};
}

// 2^k for -1022 <= k <= 1023, from the shifted sum of reduce.
constexpr double powerOfTwo(double shifted) {
  return std::bit_cast<double>((std::bit_cast<std::uint64_t>(shifted) << 52) + std::bit_cast<std::uint64_t>(1.0));
}

// Beyond the fast range: overflow, underflow through the subnormals, NaN.
constexpr double exponentialOutside(double x) {
  if (x != x) return x + x;
  if (x > 709.782712893384) return std::numeric_limits<double>::infinity();
  if (x < -745.2) return 0.0;
  const Reduced<double> d = reduce(x);
  const auto k = static_cast<std::int64_t>(d.shifted - kRoundingShift);
  // Two factors, each a normal power of two.
  const std::int64_t half = k / 2;
  const double first = std::bit_cast<double>(static_cast<std::uint64_t>(half + 1023) << 52);
  const double second = std::bit_cast<double>(static_cast<std::uint64_t>(k - half + 1023) << 52);
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
