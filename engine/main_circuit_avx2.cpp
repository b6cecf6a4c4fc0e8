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

// The limited junction exponential of every argument, padding included, four at a time.
inline void vectorJunctionExps(const double* argument, int, double* e, double* slope) {
  for (int first = 0; first < kJunctionExps; first += 4) {
    __m256d ex, sl;
    limitedExp4(_mm256_load_pd(argument + first), _mm256_setzero_pd(), ex, sl);
    _mm256_store_pd(e + first, ex);
    _mm256_store_pd(slope + first, sl);
  }
}

}  // namespace

bool newtonStepAvx2(Circuit& circuit, double h, bool instrumentNetlist) {
  // Handed over as a lambda, whose own type lets the compiler inline it into the stamp.
  return newtonStepWith(circuit, h, instrumentNetlist, [](const double* argument, int count, double* e, double* slope) {
    vectorJunctionExps(argument, count, e, slope);
  });
}

}  // namespace corva
