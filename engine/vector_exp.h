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

// Four doubles as a plain vector type (__m256d carries attributes a template argument
// drops).
using Double4 = double __attribute__((vector_size(32)));

// exp of four arguments. Lanes beyond the fast range (and NaNs) take the scalar
// function's own path, one by one.
inline __m256d exp4(__m256d x) {
  using namespace exponential_detail;
  const __m256d magnitude = _mm256_andnot_pd(set1(-0.0), x);
  const int outside = _mm256_movemask_pd(_mm256_cmp_pd(magnitude, set1(kFastLimit), _CMP_NLE_UQ));
  const Reduced<Double4> d = reduce(std::bit_cast<Double4>(x));
  const __m256i scale = _mm256_add_epi64(_mm256_slli_epi64(_mm256_castpd_si256(std::bit_cast<__m256d>(d.shifted)), 52),
                                         _mm256_set1_epi64x(static_cast<long long>(std::bit_cast<std::uint64_t>(1.0))));
  __m256d e = _mm256_mul_pd(std::bit_cast<__m256d>(d.mantissa), _mm256_castsi256_pd(scale));
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
  const __m256d ex = exp4(x);
  const __m256d limit = set1(kJunctionExpLimit);
  const __m256d tangent = _mm256_mul_pd(
      _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(v, set1(1.0)), set1(kInverseThermalVoltage)), set1(1.0)), limit);
  e = _mm256_andnot_pd(skip, _mm256_blendv_pd(tangent, ex, below));
  slope = _mm256_andnot_pd(skip, _mm256_blendv_pd(limit, ex, below));
}

}  // namespace
}  // namespace corva
