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

// The limited junction exponential of each of count arguments, four at a time. Padding
// lanes and arguments above 1 V take exp(-1 / VT), an argument of the common case.
inline void vectorJunctionExps(const double* argument, int count, LimitedExp* out) {
  for (int i = 0; i < count; i += 4) {
    alignas(32) double lanes[4] = {-1.0, -1.0, -1.0, -1.0};
    for (int l = 0; l < 4 && i + l < count; ++l) lanes[l] = argument[i + l];
    const __m256d v = _mm256_load_pd(lanes);
    const __m256d below = _mm256_cmp_pd(v, set1(1.0), _CMP_LE_OQ);
    const __m256d ex = exp4(_mm256_blendv_pd(set1(-1.0 * kInverseThermalVoltage),
                                             _mm256_mul_pd(v, set1(kInverseThermalVoltage)), below));
    const __m256d limit = set1(kJunctionExpLimit);
    const __m256d tangent = _mm256_mul_pd(
        _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(v, set1(1.0)), set1(kInverseThermalVoltage)), set1(1.0)), limit);
    alignas(32) double e[4];
    alignas(32) double slope[4];
    _mm256_store_pd(e, _mm256_blendv_pd(tangent, ex, below));
    _mm256_store_pd(slope, _mm256_blendv_pd(limit, ex, below));
    for (int l = 0; l < 4 && i + l < count; ++l) out[i + l] = {e[l], slope[l]};
  }
}

}  // namespace

bool newtonStepAvx2(Circuit& circuit, double h) { return newtonStepWith(circuit, h, vectorJunctionExps); }

}  // namespace corva
