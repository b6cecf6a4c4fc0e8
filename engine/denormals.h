#pragma once
// The floating-point mode every block is rendered in.

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace corva {

// Denormal results flush to zero and denormal inputs read as zero; long decays in the
// filters would otherwise crawl through the slow denormal path. Set per block, on the
// thread that renders it.
inline void flushDenormals() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_setcsr(_mm_getcsr() | 0x8040);
#endif
}

}  // namespace corva
