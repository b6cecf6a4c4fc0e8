// The main circuit's Newton step compiled for AVX2 and run only on CPUs that have it.
// It is the baseline step's code, with the junction exponentials of each evaluation
// computed four at a time; the compiler's wider vectors serve the stamp and the
// elimination. Products and sums are never fused
// into one rounding, so every value equals the baseline path's bit for bit.

#include <immintrin.h>

#include "engine/main_circuit_step.h"
#include "engine/vector_exp.h"

namespace corva {

namespace {

// The limited junction exponential of each of count arguments (at most eight), in two
// vectors of four.
inline void vectorJunctionExps(const double* argument, int count, LimitedExp* out) {
  constexpr int kLanes = 8;
  static_assert(kMaxJunctions + 2 * kMaxTransistors <= kLanes);
  // Padding lanes take -1 V, an argument of the common case.
  alignas(32) double lanes[kLanes];
  for (int i = 0; i < kLanes; ++i) lanes[i] = i < count ? argument[i] : -1.0;
  alignas(32) double e[kLanes];
  alignas(32) double slope[kLanes];
  for (int first = 0; first < kLanes; first += 4) {
    __m256d ex, sl;
    limitedExp4(_mm256_load_pd(lanes + first), _mm256_setzero_pd(), ex, sl);
    _mm256_store_pd(e + first, ex);
    _mm256_store_pd(slope + first, sl);
  }
  for (int i = 0; i < count; ++i) out[i] = {e[i], slope[i]};
}

}  // namespace

bool newtonStepAvx2(Circuit& circuit, double h, bool instrumentNetlist) {
  return newtonStepWith(circuit, h, instrumentNetlist, vectorJunctionExps);
}

}  // namespace corva
