#pragma once
// exp of four doubles in one 256-bit vector, and of two in one 128-bit vector, for the
// sources compiled for AVX2 (include it only there). Each lane runs the engine's own
// exponential (engine/exponential.h) operation for operation, so it equals the scalar
// exponential on every CPU.

#include <immintrin.h>

#include <bit>
#include <cstdint>

#include "engine/device_laws.h"
#include "engine/exponential.h"

namespace corva {
namespace {

inline __m256d set1(double x) { return _mm256_set1_pd(x); }

// Two doubles as a plain vector type (__m128d carries attributes a template argument
// drops).
using Double2 = double __attribute__((vector_size(16)));

// The constants of the two-lane exponential, each in both lanes. Its functions take them
// by reference, so that a caller may have them read from memory where they are used
// (see the bias paths' solve).
struct alignas(16) PairConstants {
  __m128d inverseVT;    // 1 / VT
  __m128d rangeCentre;  // see limitedExp2Outside
  __m128d rangeReach;
  __m128d magnitude;    // every bit but the sign
  __m128i tableOffset;  // the low 7 bits of k, times 16 (the size of an entry)
};

inline constexpr PairConstants kPairConstants = {
    {kInverseThermalVoltage, kInverseThermalVoltage},
    {332.0, 332.0},
    {368.0, 368.0},
    {std::bit_cast<double>(~(std::uint64_t{1} << 63)), std::bit_cast<double>(~(std::uint64_t{1} << 63))},
    {127 << 4, 127 << 4},
};

// The table entries of two lanes from `table` (exponential_detail::kPowersOfTwo). Each
// lane's byte offset into the table is made in the vector, so that each load takes it as
// it is.
struct PairTable {
  const PairConstants& k;
  const char* table;
  struct Entry {
    Double2 head, rest;
  };
  Entry operator()(Double2 shifted) const {
    static_assert(sizeof(exponential_detail::kPowersOfTwo[0]) == 16);
    const __m128i offset = _mm_and_si128(_mm_slli_epi64(_mm_castpd_si128(std::bit_cast<__m128d>(shifted)), 4),
                                         k.tableOffset);
    const __m128d lane0 = _mm_load_pd(reinterpret_cast<const double*>(table + _mm_cvtsi128_si64(offset)));
    const __m128d lane1 = _mm_load_pd(reinterpret_cast<const double*>(table + _mm_extract_epi64(offset, 1)));
    return {std::bit_cast<Double2>(_mm_unpacklo_pd(lane0, lane1)),
            std::bit_cast<Double2>(_mm_unpackhi_pd(lane0, lane1))};
  }
};

// exp of two arguments within the fast range (|x| <= kFastLimit, no NaN), as exp4 does
// each lane; `table` is exponential_detail::kPowersOfTwo (a caller may keep its address
// in a register).
inline __m128d exp2InRange(__m128d x, const PairConstants& k = kPairConstants,
                           const void* table = exponential_detail::kPowersOfTwo) {
  using namespace exponential_detail;
  const Reduced<Double2> d = reduce(std::bit_cast<Double2>(x), PairTable{k, static_cast<const char*>(table)});
  // The product by 2^m as an addition to the exponent (see exp4InRange).
  const __m128i shiftedBits = _mm_castpd_si128(std::bit_cast<__m128d>(d.shifted));
  return _mm_castsi128_pd(_mm_add_epi64(_mm_castpd_si128(std::bit_cast<__m128d>(d.mantissa)),
                                        _mm_slli_epi64(_mm_srli_epi64(shiftedBits, 7), 52)));
}

// A constant in each of four lanes, for an operand read from memory.
struct alignas(32) Four {
  double lane[4];
};
constexpr Four four(double x) { return {{x, x, x, x}}; }
constexpr Four fourBits(std::uint64_t bits) { return four(std::bit_cast<double>(bits)); }
inline __m256d load(const Four& k) { return _mm256_load_pd(k.lane); }
inline __m256i loadBits(const Four& k) { return _mm256_castpd_si256(load(k)); }

// The constants of exp4InRange and limitedExp4.
struct Exp4Constants {
  Four inverseStep, roundingShift, stepHead, stepTail, q0, q1, q2, q3;
  Four index;  // the table index's mask (127), as an integer
  Four one, inverseThermalVoltage, minusOne, lowestFast;
};

inline constexpr Exp4Constants kExp4Constants = {
    four(exponential_detail::kInverseStep),
    four(exponential_detail::kRoundingShift),
    four(exponential_detail::kStepHead),
    four(exponential_detail::kStepTail),
    four(exponential_detail::kQ[0]),
    four(exponential_detail::kQ[1]),
    four(exponential_detail::kQ[2]),
    four(exponential_detail::kQ[3]),
    fourBits(127),
    four(1.0),
    four(kInverseThermalVoltage),
    four(-1.0),
    four(-exponential_detail::kFastLimit),
};

// p, as a pointer the compiler cannot see through: it no longer knows what p points at,
// so it reads each value where it is used, as an instruction's memory operand, instead of
// keeping them in registers across the Newton iteration, where they would be spilled to
// the stack and reloaded.
template <typename T>
inline T* opaque(T* p) {
  asm volatile("" : "+r"(p));
  return p;
}

inline const Exp4Constants* exp4Constants() { return opaque(&kExp4Constants); }

// exp of four arguments within the fast range (|x| <= kFastLimit, no NaN): the scalar
// exponential's reduction (exponential_detail::reduce) lane by lane, operation for
// operation, with the table entries of the four lanes in one 16-byte load each (on this
// path's CPUs a gather is slower) and a transpose.
inline __m256d exp4InRange(__m256d x, const Exp4Constants* K) {
  using exponential_detail::kPowersOfTwo;
  const __m256d shifted = _mm256_add_pd(_mm256_mul_pd(x, load(K->inverseStep)), load(K->roundingShift));
  const __m256d k = _mm256_sub_pd(shifted, load(K->roundingShift));
  const __m256d r1 = _mm256_sub_pd(x, _mm256_mul_pd(k, load(K->stepHead)));  // exact
  const __m256d p = _mm256_mul_pd(k, load(K->stepTail));
  const __m256d r = _mm256_sub_pd(r1, p);
  const __m256d rLow = _mm256_sub_pd(_mm256_sub_pd(r1, r), p);
  const __m256d r2 = _mm256_mul_pd(r, r);
  const __m256d q = _mm256_add_pd(_mm256_add_pd(load(K->q0), _mm256_mul_pd(load(K->q1), r)),
                                  _mm256_mul_pd(_mm256_add_pd(load(K->q2), _mm256_mul_pd(load(K->q3), r)), r2));
  const __m256d c = _mm256_add_pd(r, _mm256_add_pd(_mm256_mul_pd(r2, q), rLow));
  // Twice the index j of each lane: the table's entries are 16 bytes, an address scales
  // an index by at most 8.
  const __m256i shiftedBits = _mm256_castpd_si256(shifted);
  const __m256i j = _mm256_and_si256(shiftedBits, loadBits(K->index));
  const __m256i twice = _mm256_add_epi64(j, j);
  const __m128i low = _mm256_castsi256_si128(twice);
  const __m128i high = _mm256_extracti128_si256(twice, 1);
  const double* table = kPowersOfTwo[0];
  const __m256d lanes02 = _mm256_set_m128d(_mm_load_pd(table + _mm_cvtsi128_si64(high)),
                                           _mm_load_pd(table + _mm_cvtsi128_si64(low)));
  const __m256d lanes13 = _mm256_set_m128d(_mm_load_pd(table + _mm_extract_epi64(high, 1)),
                                           _mm_load_pd(table + _mm_extract_epi64(low, 1)));
  const __m256d head = _mm256_unpacklo_pd(lanes02, lanes13);
  const __m256d rest = _mm256_unpackhi_pd(lanes02, lanes13);
  const __m256d mantissa = _mm256_add_pd(head, _mm256_add_pd(rest, _mm256_mul_pd(head, c)));
  // mantissa 2^m: within the fast range the product is a normal double (exp(-708) is
  // above the least), so multiplying by the power of two rounds nothing and only adds m
  // to the mantissa's exponent field. That addition is made on the bits: m << 52 from
  // the shifted sum's bits as powerOfTwo makes them, without its 1.0.
  return _mm256_castsi256_pd(
      _mm256_add_epi64(_mm256_castpd_si256(mantissa), _mm256_slli_epi64(_mm256_srli_epi64(shiftedBits, 7), 52)));
}

inline __m256d exp4InRange(__m256d x) { return exp4InRange(x, exp4Constants()); }

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
// in e, its slope in slope. Lanes set in skip give 0 for both.
inline void limitedExp4(__m256d v, __m256d skip, __m256d& e, __m256d& slope) {
  const Exp4Constants* K = exp4Constants();
  const __m256d below = _mm256_cmp_pd(v, load(K->one), _CMP_LE_OQ);
  const __m256d scaled = _mm256_mul_pd(v, load(K->inverseThermalVoltage));
  // Usually every lane is skipped or below 1 V and within the fast range (an argument
  // below 1 V is within it on the upper side): no lane needs the tangent or the slow
  // path, and the exponential is its own slope. A skipped lane then takes its own
  // argument, whatever it is: its exponential (within the table, whatever its value) is
  // replaced by 0, and no blend stands between the argument and the exponential.
  const __m256d plain = _mm256_or_pd(skip,
                                     _mm256_and_pd(below, _mm256_cmp_pd(scaled, load(K->lowestFast), _CMP_GE_OQ)));
  if (_mm256_movemask_pd(plain) == 0xf) [[likely]] {
    e = slope = _mm256_andnot_pd(skip, exp4InRange(scaled, K));
    return;
  }
  // Otherwise the skipped lanes and those above 1 V take exp(-1), within the fast range;
  // only a lane below that range takes exp4's slow path.
  const __m256d x = _mm256_blendv_pd(load(K->minusOne), scaled, _mm256_andnot_pd(skip, below));
  const __m256d ex = exp4(x);
  const __m256d limit = set1(kJunctionExpLimit);
  const __m256d tangent = _mm256_mul_pd(
      _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(v, set1(1.0)), set1(kInverseThermalVoltage)), set1(1.0)), limit);
  e = _mm256_andnot_pd(skip, _mm256_blendv_pd(tangent, ex, below));
  slope = _mm256_andnot_pd(skip, _mm256_blendv_pd(limit, ex, below));
}

// The lanes of a pair of junction voltages that do not take limitedExp's exponential
// within the fast range, from their arguments x = v / VT: |x + 332| <= 368 puts x in
// [-700, 36] (up to a rounding far smaller than either margin), so within the fast range
// and below 1 / VT, which gives v <= 1. A NaN is outside.
inline __m128d limitedExp2Outside(__m128d x, const PairConstants& k = kPairConstants) {
  return _mm_cmp_pd(_mm_and_pd(_mm_add_pd(x, k.rangeCentre), k.magnitude), k.rangeReach, _CMP_NLE_UQ);
}

}  // namespace
}  // namespace corva
