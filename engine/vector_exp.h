#pragma once
// exp of four doubles in one 256-bit vector, for the sources compiled for AVX2 (include
// it only there). Each lane runs the engine's own exponential (engine/exponential.h)
// operation for operation, so it equals the scalar exponential on every CPU.

#include <immintrin.h>

#include <bit>
#include <cstdint>

#include "engine/device_laws.h"
#include "engine/exponential.h"

namespace corva {
namespace {

inline __m256d set1(double x) { return _mm256_set1_pd(x); }

// Four and two doubles as plain vector types (__m256d and __m128d carry attributes a
// template argument drops).
using Double4 = double __attribute__((vector_size(32)));
using Double2 = double __attribute__((vector_size(16)));

// The table entries of four lanes: each lane's head and rest sit side by side, one
// 16-byte load per lane (on this path's CPUs a gather is slower), then a transpose.
struct VectorTable {
  struct Entry {
    Double4 head, rest;
  };
  Entry operator()(Double4 shifted) const {
    using exponential_detail::kPowersOfTwo;
    alignas(32) std::uint64_t j[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(j),
                       _mm256_and_si256(_mm256_castpd_si256(std::bit_cast<__m256d>(shifted)), _mm256_set1_epi64x(127)));
    const __m256d lanes02 = _mm256_set_m128d(_mm_load_pd(kPowersOfTwo[j[2]]), _mm_load_pd(kPowersOfTwo[j[0]]));
    const __m256d lanes13 = _mm256_set_m128d(_mm_load_pd(kPowersOfTwo[j[3]]), _mm_load_pd(kPowersOfTwo[j[1]]));
    return {std::bit_cast<Double4>(_mm256_unpacklo_pd(lanes02, lanes13)),
            std::bit_cast<Double4>(_mm256_unpackhi_pd(lanes02, lanes13))};
  }
};

// The table entries of two lanes.
struct PairTable {
  struct Entry {
    Double2 head, rest;
  };
  Entry operator()(Double2 shifted) const {
    using exponential_detail::kPowersOfTwo;
    const __m128i j = _mm_and_si128(_mm_castpd_si128(std::bit_cast<__m128d>(shifted)), _mm_set1_epi64x(127));
    const __m128d lane0 = _mm_load_pd(kPowersOfTwo[_mm_cvtsi128_si64(j)]);
    const __m128d lane1 = _mm_load_pd(kPowersOfTwo[_mm_extract_epi64(j, 1)]);
    return {std::bit_cast<Double2>(_mm_unpacklo_pd(lane0, lane1)),
            std::bit_cast<Double2>(_mm_unpackhi_pd(lane0, lane1))};
  }
};

// exp of two arguments, as exp4 does each lane.
inline __m128d exp2Lanes(__m128d x) {
  using namespace exponential_detail;
  const __m128d magnitude = _mm_andnot_pd(_mm_set1_pd(-0.0), x);
  const int outside = _mm_movemask_pd(_mm_cmp_pd(magnitude, _mm_set1_pd(kFastLimit), _CMP_NLE_UQ));
  const Reduced<Double2> d = reduce(std::bit_cast<Double2>(x), PairTable{});
  const __m128i shiftedBits = _mm_castpd_si128(std::bit_cast<__m128d>(d.shifted));
  const __m128i scale = _mm_add_epi64(_mm_slli_epi64(_mm_srli_epi64(shiftedBits, 7), 52),
                                      _mm_set1_epi64x(static_cast<long long>(std::bit_cast<std::uint64_t>(1.0))));
  __m128d e = _mm_mul_pd(std::bit_cast<__m128d>(d.mantissa), _mm_castsi128_pd(scale));
  if (outside != 0) [[unlikely]] {
    alignas(16) double xs[2];
    alignas(16) double es[2];
    _mm_store_pd(xs, x);
    _mm_store_pd(es, e);
    for (int i = 0; i < 2; ++i)
      if (outside & (1 << i)) es[i] = exponentialOutside(xs[i]);
    e = _mm_load_pd(es);
  }
  return e;
}

// exp of four arguments within the fast range (|x| <= kFastLimit, no NaN).
inline __m256d exp4InRange(__m256d x) {
  using namespace exponential_detail;
  const Reduced<Double4> d = reduce(std::bit_cast<Double4>(x), VectorTable{});
  const __m256i shiftedBits = _mm256_castpd_si256(std::bit_cast<__m256d>(d.shifted));
  const __m256i scale = _mm256_add_epi64(_mm256_slli_epi64(_mm256_srli_epi64(shiftedBits, 7), 52),
                                         _mm256_set1_epi64x(static_cast<long long>(std::bit_cast<std::uint64_t>(1.0))));
  return _mm256_mul_pd(std::bit_cast<__m256d>(d.mantissa), _mm256_castsi256_pd(scale));
}

// exp of four arguments. Lanes beyond the fast range (and NaNs) take the scalar
// function's own path, one by one.
inline __m256d exp4(__m256d x) {
  using namespace exponential_detail;
  const __m256d magnitude = _mm256_andnot_pd(set1(-0.0), x);
  const int outside = _mm256_movemask_pd(_mm256_cmp_pd(magnitude, set1(kFastLimit), _CMP_NLE_UQ));
  __m256d e = exp4InRange(x);
  if (outside != 0) [[unlikely]] {
    alignas(32) double xs[4];
    alignas(32) double es[4];
    _mm256_store_pd(xs, x);
    _mm256_store_pd(es, e);
    for (int i = 0; i < 4; ++i)
      if (outside & (1 << i)) es[i] = exponentialOutside(xs[i]);
    e = _mm256_load_pd(es);
  }
  return e;
}

// The limited junction exponential (see limitedExp) of four junction voltages: the value
// in e, its slope in slope. Lanes set in skip give 0 for both; they and the lanes above
// 1 V take exp(-1), an argument of the common case, so that no lane needs the slow path.
inline void limitedExp4(__m256d v, __m256d skip, __m256d& e, __m256d& slope) {
  const __m256d below = _mm256_cmp_pd(v, set1(1.0), _CMP_LE_OQ);
  const __m256d x = _mm256_blendv_pd(set1(-1.0), _mm256_mul_pd(v, set1(kInverseThermalVoltage)),
                                     _mm256_andnot_pd(skip, below));
  // Usually every lane is skipped or below 1 V and within the fast range (an argument
  // below 1 V is within it on the upper side): no lane needs the tangent or the slow
  // path, and the exponential is its own slope.
  const __m256d plain = _mm256_and_pd(_mm256_or_pd(below, skip),
                                      _mm256_cmp_pd(x, set1(-exponential_detail::kFastLimit), _CMP_GE_OQ));
  if (_mm256_movemask_pd(plain) == 0xf) [[likely]] {
    e = slope = _mm256_andnot_pd(skip, exp4InRange(x));
    return;
  }
  const __m256d ex = exp4(x);
  const __m256d limit = set1(kJunctionExpLimit);
  const __m256d tangent = _mm256_mul_pd(
      _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(v, set1(1.0)), set1(kInverseThermalVoltage)), set1(1.0)), limit);
  e = _mm256_andnot_pd(skip, _mm256_blendv_pd(tangent, ex, below));
  slope = _mm256_andnot_pd(skip, _mm256_blendv_pd(limit, ex, below));
}

// limitedExp4 for two junction voltages (no lane skipped).
inline void limitedExp2(__m128d v, __m128d& e, __m128d& slope) {
  const __m128d below = _mm_cmp_pd(v, _mm_set1_pd(1.0), _CMP_LE_OQ);
  if (_mm_movemask_pd(below) == 0b11) [[likely]] {
    e = slope = exp2Lanes(_mm_mul_pd(v, _mm_set1_pd(kInverseThermalVoltage)));
    return;
  }
  const __m128d x = _mm_blendv_pd(_mm_set1_pd(-1.0), _mm_mul_pd(v, _mm_set1_pd(kInverseThermalVoltage)), below);
  const __m128d ex = exp2Lanes(x);
  const __m128d limit = _mm_set1_pd(kJunctionExpLimit);
  const __m128d tangent = _mm_mul_pd(
      _mm_add_pd(_mm_mul_pd(_mm_sub_pd(v, _mm_set1_pd(1.0)), _mm_set1_pd(kInverseThermalVoltage)), _mm_set1_pd(1.0)),
      limit);
  e = _mm_blendv_pd(tangent, ex, below);
  slope = _mm_blendv_pd(limit, ex, below);
}

}  // namespace
}  // namespace corva
