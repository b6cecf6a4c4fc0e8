// The main circuit's Newton step compiled for AVX2 and FMA (the vector part of
// x86-64-v3) and run only on CPUs that have both. It is the baseline step's code, with
// the junction exponentials of each evaluation computed four at a time; the compiler's
// wider vectors serve the stamp and the elimination. Products and sums are never fused
// into one rounding, so every value equals the baseline path's bit for bit.

#include <immintrin.h>

#include "engine/main_circuit_step.h"
#include "engine/vector_exp.h"

namespace corva {

namespace {

// The limited junction exponential of each of count arguments (at most eight), in two
// vectors of four. Padding lanes and arguments above 1 V take exp(-1 / VT), an argument
// of the common case.
inline void vectorJunctionExps(const double* argument, int count, LimitedExp* out) {
  constexpr int kLanes = 8;
  static_assert(kMaxJunctions + 2 * kMaxTransistors <= kLanes);
  alignas(32) double lanes[kLanes];
  for (int i = 0; i < kLanes; ++i) lanes[i] = i < count ? argument[i] : -1.0;
  alignas(32) double e[kLanes];
  alignas(32) double slope[kLanes];
  for (int first = 0; first < kLanes; first += 4) {
    const __m256d v = _mm256_load_pd(lanes + first);
    const __m256d below = _mm256_cmp_pd(v, set1(1.0), _CMP_LE_OQ);
    const __m256d ex = exp4(_mm256_blendv_pd(set1(-1.0 * kInverseThermalVoltage),
                                             _mm256_mul_pd(v, set1(kInverseThermalVoltage)), below));
    const __m256d limit = set1(kJunctionExpLimit);
    const __m256d tangent = _mm256_mul_pd(
        _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(v, set1(1.0)), set1(kInverseThermalVoltage)), set1(1.0)), limit);
    _mm256_store_pd(e + first, _mm256_blendv_pd(tangent, ex, below));
    _mm256_store_pd(slope + first, _mm256_blendv_pd(limit, ex, below));
  }
  for (int i = 0; i < count; ++i) out[i] = {e[i], slope[i]};
}

}  // namespace

bool newtonStepAvx2(Circuit& circuit, double h) { return newtonStepWith(circuit, h, vectorJunctionExps); }

}  // namespace corva
