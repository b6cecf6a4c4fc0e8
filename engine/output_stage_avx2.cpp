// The output stage's Newton solve in 256-bit vectors, compiled for AVX2 and run only on
// CPUs that have it. The four unknowns fill one vector: each
// evaluation computes its four junction exponentials together, sums every node's
// currents lane by lane, and the 4 x 4 elimination updates whole rows.
//
// Every value equals the baseline path's bit for bit. Each lane performs the same IEEE
// operations in the same order as the scalar code (no contraction: a product and a sum
// stay two roundings); padding lanes add -0.0 or subtract +0.0, which leave any value as
// it is. The exponential is the engine's own, lane by lane.

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "engine/output_stage_steps.h"
#include "engine/vector_exp.h"

namespace corva {

namespace {

inline __m256d absolute(__m256d x) { return _mm256_andnot_pd(set1(-0.0), x); }

// The constants the stage keeps for the vector path (OutputStage::stepConstants, 32-byte
// aligned), four doubles each at these offsets: those of the last sub-step's length and
// rule (see VectorSubStep), and the drive's conductances and diagonal (see VectorDrive).
constexpr int kGc03 = 0;
constexpr int kGc45 = 4;
constexpr int kDiagonalCapacitors = 8;
constexpr int kRows = 20;
constexpr int kDriveConductance = 36;
static_assert(kDriveConductance + 8 == sizeof(OutputStage::stepConstants) / sizeof(double));

// An interval's drive in vector form, lane i belonging to unknown i.
struct VectorDrive {
  __m256d source;       // source A, gate, source B, gate
  __m256d conductance;  // 1/rA, collector load, 1/rB, collector load
  __m256d leakAnd;      // leak + each conductance: the diagonal before the capacitors
  double biasVoltage;
};

// Makes the drive's conductances, kept in the stage with the sub-step constants (see
// prepareVector), again when the base resistors differ from those they were made for.
inline void keepDriveConductances(OutputStage& s, double rA, double rB) {
  if (!(rA == s.stepConstantsKey[1] && rB == s.stepConstantsKey[2])) {
    // Other resistors: every kept constant is made again.
    s.stepConstantsKey[0] = 0.0;
    s.stepConstantsKey[1] = rA;
    s.stepConstantsKey[2] = rB;
    double* kept = s.stepConstants + kDriveConductance;
    const __m256d conductance = _mm256_setr_pd(1.0 / rA, kCollectorLoad, 1.0 / rB, kCollectorLoad);
    _mm256_store_pd(kept, conductance);
    _mm256_store_pd(kept + 4, _mm256_add_pd(set1(kLeak), conductance));
  }
}

// The interval's drive, its conductances those kept for its resistors; with
// ResistorsKept the caller has kept them already (see keepDriveConductances).
template <bool ResistorsKept>
inline VectorDrive vectorDrive(OutputStage& s, const StageDrive& drive) {
  VectorDrive d;
  d.source = _mm256_setr_pd(drive.sourceA, drive.gate, drive.sourceB, drive.gate);
  if constexpr (!ResistorsKept) keepDriveConductances(s, drive.rA, drive.rB);
  const double* kept = s.stepConstants + kDriveConductance;
  d.conductance = _mm256_load_pd(kept);
  d.leakAnd = _mm256_load_pd(kept + 4);
  d.biasVoltage = drive.biasVoltage;
  return d;
}

// The sub-step's constants in vector form, with the same values as the scalar SubStep.
// Those that depend only on its length, its integration rule and the interval's drive
// are kept in the stage (lane i belonging to unknown i):
//   gc03: C/step (2C/step trapezoidal) of Cc1, Cc2, Cbe1, Cbe2;
//   gc45: that of Cbc1, Cbc1, Cbc2, Cbc2;
//   diagonalCapacitors: the capacitors each diagonal entry adds, in the order they add
//     (-0 where an entry adds fewer): base A Cc2, Cbe1, Cbc1; collector A Cc1, Cbc1;
//     base B Cc1, Cbe2, Cbc2; collector B Cc2, Cbc2;
//   row: the Jacobian without the transistors (and bias paths).
struct VectorSubStep {
  const VectorDrive* drive;
  const double* constants;     // the stage's kept constants
  __m256d start03, history03;  // capacitors Cc1, Cc2, Cbe1, Cbe2
  __m256d start45, history45;  // Cbc1, Cbc1, Cbc2, Cbc2
  __m256d gc03() const { return _mm256_load_pd(constants + kGc03); }
  __m256d gc45() const { return _mm256_load_pd(constants + kGc45); }
  __m256d diagonalCapacitors(int i) const { return _mm256_load_pd(constants + kDiagonalCapacitors + 4 * i); }
  __m256d row(int i) const { return _mm256_load_pd(constants + kRows + 4 * i); }
};

// The voltages across Cc1, Cc2, Cbe1, Cbe2 (v1 - v2, v3 - v0, v0, v2).
inline __m256d acrossFirstFour(__m256d v) {
  return _mm256_sub_pd(_mm256_permute4x64_pd(v, 0b10'00'11'01),
                       _mm256_blend_pd(_mm256_permute4x64_pd(v, 0b00'00'00'10), _mm256_setzero_pd(), 0b1100));
}

// The voltages across Cbc1 (v0 - v1, lanes 0 and 1) and Cbc2 (v2 - v3, lanes 2 and 3).
inline __m256d acrossLastTwo(__m256d v) { return _mm256_sub_pd(_mm256_unpacklo_pd(v, v), _mm256_unpackhi_pd(v, v)); }

// The four capacitances, C (or 2C, trapezoidal): Cc1, Cc2, Cbe (both), Cbc (both).
alignas(32) constexpr double kCapacitances[4] = {kCc1, kCc2, kCbe, kCbc};
alignas(32) constexpr double kTwiceCapacitances[4] = {2.0 * kCc1, 2.0 * kCc2, 2.0 * kCbe, 2.0 * kCbc};

// Fills the constants of a sub-step of this length and rule.
inline void prepareStepConstants(double* c, double step, bool trapezoid, const VectorDrive& drive) {
  // The four distinct conductances in one division.
  const __m256d gc = _mm256_div_pd(_mm256_load_pd(trapezoid ? kTwiceCapacitances : kCapacitances), set1(step));
  const __m256d gc03 = _mm256_permute4x64_pd(gc, 0b10'10'01'00);
  const __m256d gc45 = _mm256_permute4x64_pd(gc, 0b11'11'11'11);
  // Adding -0 leaves any value as it is.
  const __m256d diagonalCapacitors[3] = {
      _mm256_permute4x64_pd(gc03, 0b01'00'00'01),
      _mm256_blend_pd(_mm256_permute4x64_pd(gc03, 0b00'11'00'10), gc45, 0b1010),
      _mm256_blend_pd(gc45, set1(-0.0), 0b1010),
  };
  const __m256d diagonal = _mm256_add_pd(
      _mm256_add_pd(_mm256_add_pd(drive.leakAnd, diagonalCapacitors[0]), diagonalCapacitors[1]), diagonalCapacitors[2]);
  // Each capacitor's term between its two nodes, 0 - C/step: Cbc1 and Cbc2 (equal), and
  // Cc2, Cc1, Cc1, Cc2 (those the diagonal's first capacitors add).
  const __m256d off45 = _mm256_sub_pd(_mm256_setzero_pd(), gc45);
  const __m256d cc = _mm256_sub_pd(_mm256_setzero_pd(), diagonalCapacitors[0]);
  // Rows (each also a column, the matrix being symmetric): base A (diagonal, Cbc1, 0,
  // Cc2), collector A (Cbc1, diagonal, Cc1, 0), base B (0, Cc1, diagonal, Cbc2),
  // collector B (Cc2, 0, Cbc2, diagonal), each the halves of two of these four. In mode 2
  // the bases' diagonal entries are replaced per evaluation.
  const __m256d diagonalEven = _mm256_blend_pd(off45, diagonal, 0b0101);     // diag, Cbc, diag, Cbc
  const __m256d diagonalOdd = _mm256_blend_pd(off45, diagonal, 0b1010);      // Cbc, diag, Cbc, diag
  const __m256d ccOuter = _mm256_blend_pd(_mm256_setzero_pd(), cc, 0b1001);  // Cc2, 0, 0, Cc2
  const __m256d ccInner = _mm256_blend_pd(_mm256_setzero_pd(), cc, 0b0110);  // 0, Cc1, Cc1, 0
  _mm256_store_pd(c + kGc03, gc03);
  _mm256_store_pd(c + kGc45, gc45);
  for (int i = 0; i < 3; ++i) _mm256_store_pd(c + kDiagonalCapacitors + 4 * i, diagonalCapacitors[i]);
  _mm256_store_pd(c + kRows + 0, _mm256_blend_pd(diagonalEven, ccOuter, 0b1100));
  _mm256_store_pd(c + kRows + 4, _mm256_blend_pd(diagonalOdd, ccInner, 0b1100));
  _mm256_store_pd(c + kRows + 8, _mm256_blend_pd(diagonalEven, ccInner, 0b0011));
  _mm256_store_pd(c + kRows + 12, _mm256_blend_pd(diagonalOdd, ccOuter, 0b0011));
}

// The sub-step's constants. Those that depend only on the sub-step's length and rule are
// kept in the stage and made again only when either differs from the last sub-step's, or
// the drive's resistors changed (see keepDriveConductances): most sub-steps have the
// length of the one before.
inline VectorSubStep prepareVector(OutputStage& s, double step, bool trapezoid, __m256d start,
                                   const VectorDrive& drive) {
  VectorSubStep w;
  w.drive = &drive;
  // One key for both: a trapezoidal sub-step's length is kept negated.
  const double key = trapezoid ? -step : step;
  if (!(key == s.stepConstantsKey[0])) {
    prepareStepConstants(s.stepConstants, step, trapezoid, drive);
    s.stepConstantsKey[0] = key;
  }
  w.constants = s.stepConstants;
  w.start03 = acrossFirstFour(start);
  w.start45 = acrossLastTwo(start);
  if (trapezoid) {
    w.history03 = _mm256_loadu_pd(s.capCurrent);
    w.history45 = _mm256_setr_pd(s.capCurrent[4], s.capCurrent[4], s.capCurrent[5], s.capCurrent[5]);
  } else {
    w.history03 = _mm256_setzero_pd();
    w.history45 = _mm256_setzero_pd();
  }
  return w;
}

// One evaluation: the iterate, residual F, scale S, the Jacobian rows and -F.
struct VectorEvaluation {
  __m256d v;
  __m256d F;
  __m256d S;
  __m256d col[4];  // Jacobian columns, lane i holding row i
  __m256d rhs;
  double r;  // sum of the squared residuals
};

// ((F0^2 + F1^2) + F2^2) + F3^2, the order of the scalar sum.
inline double sumOfSquares(__m256d F) {
  const __m256d sq = _mm256_mul_pd(F, F);
  double r = sq[0] + sq[1];
  r += sq[2];
  r += sq[3];
  return r;
}

// The constants of the bias paths' common solve, each in both lanes. Those that the
// exponential's constants hold too are held again, so that each use reads its own.
struct alignas(16) JunctionConstants {
  PairConstants exp;
  __m128d RIs, one, minusHalf, half, tolerance, inverseVT, magnitude, Is, negatedR, negatedInverseVT, oneAgain,
      offLimit, zero, allLanes, stepLimit;
};

// R Is of the bias path, in the order the baseline multiplies them.
constexpr double kBiasRIs = kBiasResistor * kSeriesJunctionIs;

inline constexpr JunctionConstants kJunctionConstants = {
    kPairConstants,
    {kBiasRIs, kBiasRIs},
    {1.0, 1.0},
    {-0.5, -0.5},
    {0.5, 0.5},
    {1e-7, 1e-7},
    kPairConstants.inverseVT,
    kPairConstants.magnitude,
    {kSeriesJunctionIs, kSeriesJunctionIs},
    {-kBiasResistor, -kBiasResistor},
    {-kInvVT, -kInvVT},
    {1.0, 1.0},
    {0.3, 0.3},
    {0.0, 0.0},
    {std::bit_cast<double>(~std::uint64_t{0}), std::bit_cast<double>(~std::uint64_t{0})},
    {0.5, 0.5},
};

// The junction voltage each bias path's solve starts from, from the drives vt of the two
// paths and their last voltages: a junction held off starts from its drive, one still
// conducting below its drive from its last voltage. Returns the lanes that are either
// (usually both) as a mask.
inline __m128d junctionStart(__m128d vt, __m128d previous, __m128d& vd, const JunctionConstants& k) {
  const __m128d off = _mm_cmp_pd(vt, k.offLimit, _CMP_LE_OQ);
  const __m128d warm = _mm_and_pd(_mm_cmp_pd(previous, k.zero, _CMP_GT_OQ), _mm_cmp_pd(vt, previous, _CMP_GT_OQ));
  vd = _mm_blendv_pd(previous, vt, off);
  return _mm_or_pd(off, warm);
}

// Both bias paths' junction solves, for any drives and last voltages: the baseline's
// solve, lane by lane. Out of line, for the rare pair that seriesJunctionPair leaves to it.
[[gnu::noinline]] __m256d generalJunctionPair(__m128d vt, double (&junctionVoltage)[2]) {
  alignas(16) double drive[2];
  _mm_store_pd(drive, vt);
  const SeriesJunctionResult a = seriesJunctionDriven(drive[0], kBiasResistor, junctionVoltage[0]);
  const SeriesJunctionResult b = seriesJunctionDriven(drive[1], kBiasResistor, junctionVoltage[1]);
  return _mm256_setr_pd(a.current, b.current, a.conductance, b.conductance);
}

// Both bias paths' junction solves (base A in lane 0, base B in lane 1) side by side:
// each lane runs the baseline's Newton iteration step for step and keeps the values of
// the iteration it converged in, so that both give the baseline's values. Returns the
// paths' currents (A, B) in the low half and their conductances (A, B) in the high half,
// one register. Kept out of line: inlined, its loop competes for registers with the
// Newton iteration around it.
//
// This is the common pair's solve: both start from their drives or last voltages, every
// exponential lies within the fast range (where it is its own slope) and both converge
// within the iterations. Any other pair starts again in the general solve; so no call
// stays in this loop, around which the values it keeps would have to go to the stack.
// Both lanes step together until both have converged; usually they do in the same
// iteration, or one in the iteration before.
[[gnu::noinline]] __m256d seriesJunctionPair(double sourceVoltage, __m128d nodes, double (&junctionVoltage)[2]) {
  const JunctionConstants& k = *opaque(&kJunctionConstants);
  const auto& table = *opaque(&exponential_detail::kPowersOfTwo);
  const __m128d vt = _mm_sub_pd(_mm_set1_pd(sourceVoltage), nodes);
  const __m128d previous = _mm_loadu_pd(junctionVoltage);
  __m128d vd;
  if (!_mm_testc_pd(junctionStart(vt, previous, vd, k), k.allLanes)) [[unlikely]]
    return generalJunctionPair(vt, junctionVoltage);
  // Usually neither junction is held off, and both start from their last voltages. That
  // start is taken by a branch, not by junctionStart's blend: the last voltages are known
  // long before the drives, which depend on the iterate, so the first exponential need
  // not wait for the iterate.
  const __m128d off = _mm_cmp_pd(vt, k.offLimit, _CMP_LE_OQ);
  if (_mm_testz_pd(off, off)) [[likely]]
    vd = previous;
  for (int iteration = 0; iteration < 8; ++iteration) {
    // The constants are read where they are used, each an instruction's memory operand,
    // not loaded into registers ahead of the loop (it would need more than there are).
    asm volatile("" ::: "memory");
    const __m128d x = _mm_mul_pd(vd, k.exp.inverseVT);
    // A lane outside the fast range gives a meaningless exponential and step; they are
    // not used, the general solve starting again at the end of the iteration.
    const __m128d outside = limitedExp2Outside(x, k.exp);
    const __m128d e = exp2InRange(x, k.exp, table);
    // The baseline's step, its operands in an order that takes the constants from
    // memory: the quotient is never a NaN when every lane is within the fast range (a NaN
    // drive fails both start tests, and the exponential is finite).
    const __m128d f = _mm_sub_pd(_mm_sub_pd(vt, vd), _mm_mul_pd(_mm_sub_pd(e, k.one), k.RIs));
    const __m128d y = _mm_mul_pd(_mm_mul_pd(e, k.RIs), k.inverseVT);
    const __m128d quotient = _mm_div_pd(f, _mm_add_pd(y, k.one));
    // The step is the quotient unless that exceeds 0.5 V (rare): the clamp, tested aside,
    // stays off the chain from one iteration to the next.
    const __m128d from = vd;
    vd = _mm_add_pd(vd, quotient);
    const __m128d size = _mm_and_pd(quotient, k.magnitude);
    const __m128d converged = _mm_cmp_pd(size, k.tolerance, _CMP_LT_OQ);
    const __m128d unusual = _mm_or_pd(outside, _mm_cmp_pd(size, k.stepLimit, _CMP_GT_OQ));
    const __m128d ended = _mm_or_pd(converged, unusual);
    if (!_mm_testz_pd(ended, ended)) {
      if (!_mm_testz_pd(unusual, unusual)) [[unlikely]] {
        if (!_mm_testz_pd(outside, outside)) return generalJunctionPair(vt, junctionVoltage);
        // A step beyond 0.5 V (which does not converge, and is not a NaN) is clamped to
        // it.
        vd = _mm_add_pd(from, _mm_min_pd(_mm_max_pd(quotient, k.minusHalf), k.half));
      }
      if (_mm_testc_pd(converged, k.allLanes)) {
        _mm_storeu_pd(junctionVoltage, vd);
        // junctionResult(e, e), with the conductance's negated numerator made by the
        // negated 1 / VT and the denominator's product by the negated R: a product of
        // negated factors is the negated product, as IEEE multiplication rounds.
        const __m128d negatedGd = _mm_mul_pd(_mm_mul_pd(e, k.Is), k.negatedInverseVT);
        return _mm256_set_m128d(_mm_div_pd(negatedGd, _mm_add_pd(_mm_mul_pd(negatedGd, k.negatedR), k.one)),
                                _mm_mul_pd(_mm_sub_pd(e, k.oneAgain), k.Is));
      }
      // One lane has converged while the other steps on. It steps again from where it
      // stepped from: the same operations on the same values give it the same
      // exponential, step and voltage in every iteration to come. The lane is taken by a
      // branch to a blend of fixed lanes, so that the next exponential does not wait for
      // the convergence mask.
      const int convergedLanes = _mm_movemask_pd(converged);
      if (convergedLanes == 0b01) {
        vd = _mm_blend_pd(vd, from, 0b01);
      } else if (convergedLanes == 0b10) {
        vd = _mm_blend_pd(vd, from, 0b10);
      }
    }
  }
  return generalJunctionPair(vt, junctionVoltage);
}

template <bool ModeTwo>
inline void evaluate(const VectorSubStep& w, double (&junctionVoltage)[2], __m256d v, VectorEvaluation& e) {
  // The bias paths' solve comes first, so that little is live across its call.
  __m256d bias = _mm256_setzero_pd();
  if constexpr (ModeTwo)
    bias = seriesJunctionPair(w.drive->biasVoltage, _mm256_castpd256_pd128(_mm256_permute4x64_pd(v, 0b00'00'10'00)),
                              junctionVoltage);
  const __m256d negativeZero = set1(-0.0);
  e.v = v;
  __m256d F = _mm256_mul_pd(set1(kLeak), v);
  __m256d S = absolute(F);
  // Base resistors and collector loads.
  const __m256d resistors = _mm256_mul_pd(_mm256_sub_pd(v, w.drive->source), w.drive->conductance);
  F = _mm256_add_pd(F, resistors);
  S = _mm256_add_pd(S, absolute(resistors));

  __m256d row0 = w.row(0);
  __m256d row2 = w.row(2);
  if constexpr (ModeTwo) {
    // The currents at the bases (A in lane 0, B in lane 2), 0 at the collectors.
    const __m256d biasCurrent = _mm256_blend_pd(_mm256_permute4x64_pd(bias, 0b00'01'00'00), _mm256_setzero_pd(),
                                                0b1010);
    F = _mm256_sub_pd(F, biasCurrent);
    S = _mm256_add_pd(S, absolute(biasCurrent));
    // Both bases' diagonal entries at once, A in lane 0 and B in lane 2 (the other two
    // lanes are not used).
    const __m256d diagonal = _mm256_add_pd(
        _mm256_add_pd(_mm256_add_pd(_mm256_sub_pd(w.drive->leakAnd, _mm256_permute4x64_pd(bias, 0b11'11'10'10)),
                                    w.diagonalCapacitors(0)),
                      w.diagonalCapacitors(1)),
        w.diagonalCapacitors(2));
    row0 = _mm256_blend_pd(row0, diagonal, 0b0001);
    row2 = _mm256_blend_pd(row2, diagonal, 0b0100);
  }

  // Capacitors: Cc1, Cc2, Cbe1, Cbe2 in lanes 0..3 (voltages across: v1 - v2, v3 - v0,
  // v0, v2); Cbc1 in lanes 0 and 1 (v0 - v1), Cbc2 in lanes 2 and 3 (v2 - v3).
  const __m256d I03 = _mm256_sub_pd(_mm256_mul_pd(w.gc03(), _mm256_sub_pd(acrossFirstFour(v), w.start03)), w.history03);
  const __m256d I45 = _mm256_sub_pd(_mm256_mul_pd(w.gc45(), _mm256_sub_pd(acrossLastTwo(v), w.start45)), w.history45);
  // Each node adds its capacitor currents in the order of the element list: base A -Cc2,
  // +Cbe1, +Cbc1; collector A +Cc1, -Cbc1; base B -Cc1, +Cbe2, +Cbc2; collector B +Cc2,
  // -Cbc2. Adding -x is subtracting x.
  const __m256d first = _mm256_xor_pd(_mm256_permute4x64_pd(I03, 0b01'00'00'01), _mm256_setr_pd(-0.0, 0.0, -0.0, 0.0));
  const __m256d second = _mm256_xor_pd(_mm256_blend_pd(_mm256_permute4x64_pd(I03, 0b00'11'00'10), I45, 0b1010),
                                       _mm256_setr_pd(0.0, -0.0, 0.0, -0.0));
  const __m256d third = _mm256_blend_pd(I45, negativeZero, 0b1010);
  F = _mm256_add_pd(F, first);
  S = _mm256_add_pd(S, absolute(first));
  F = _mm256_add_pd(F, second);
  S = _mm256_add_pd(S, absolute(second));
  F = _mm256_add_pd(F, third);
  S = _mm256_add_pd(S, absolute(third));

  // Both transistors, A in the low half and B in the high half: each half holds its
  // transistor's forward junction (argument vb, lanes 0 and 2) and its reverse junction
  // (vb - vc, lanes 1 and 3), so that every sum of a transistor's terms pairs lanes
  // within a half. Subtracting +0 leaves a base as it is.
  const __m256d arguments = _mm256_sub_pd(_mm256_movedup_pd(v), _mm256_blend_pd(_mm256_setzero_pd(), v, 0b1010));
  // An exponential below exp(-50) of the terms it joins cannot change their sum; its exp
  // is skipped (see the baseline transistor law): a forward junction's when vb < -50 VT,
  // a reverse junction's when vc - vb > 50 VT (that is vb - vc < -50 VT, the one being
  // the other negated) and vc > 50 VT.
  constexpr double kNegligible = 50.0 * VT;
  const __m256d allLanes = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
  const __m256d skip = _mm256_and_pd(
      _mm256_cmp_pd(arguments, set1(-kNegligible), _CMP_LT_OS),
      _mm256_blend_pd(_mm256_cmp_pd(v, set1(kNegligible), _CMP_GT_OS), allLanes, 0b0101));
  // Base-emitter breakdown: conducts only with a base below about -8.47 V (lanes 0 and
  // 2; the others are not used). Its argument is made from the bases themselves, which
  // the forward junctions' arguments equal (vb - 0 is vb), so that it need not wait for
  // those.
  const __m256d breakdownArgument = _mm256_sub_pd(_mm256_xor_pd(v, negativeZero), set1(kBreakdownVoltage));
  const __m256d live = _mm256_cmp_pd(breakdownArgument, set1(-40.0 * VT), _CMP_NLT_US);
  constexpr int kForwardLanes = 0b0101;
  const int breakdownLive = _mm256_movemask_pd(live) & kForwardLanes;
  const __m256d one = set1(1.0);
  // Each junction's saturation current over its beta, and Is, in its lanes.
  const __m256d isFR = _mm256_setr_pd(kIsOverBetaF, kIsOverBetaR, kIsOverBetaF, kIsOverBetaR);
  const __m256d is = set1(kIs);
  const __m256d isD = set1(kBreakdownIs);
  const __m256d invVT = set1(kInvVT);
  __m256d junctionE, junctionSlope;
  __m256d Ibd, breakdownConductance;  // in the forward lanes
  if (breakdownLive == 0) [[likely]] {
    // Neither breakdown junction conducts: each gives the current Is (0 - 1) and no
    // conductance.
    limitedExp4(arguments, skip, junctionE, junctionSlope);
    Ibd = set1(kBreakdownIs * (0.0 - 1.0));
    breakdownConductance = _mm256_setzero_pd();
  } else {
    // A base low enough for breakdown skips its forward junction, so the breakdown
    // junction takes the forward junction's lane (each lane's exp depends on its argument
    // alone; the skipped junction's exp is 0). Only a NaN base is live without skipping;
    // then both breakdown junctions take the separate exp below.
    const __m256d sharing = _mm256_blend_pd(_mm256_setzero_pd(), _mm256_and_pd(live, skip), kForwardLanes);
    const int sharingLanes = _mm256_movemask_pd(sharing);
    const bool shareLanes = sharingLanes == breakdownLive;
    // The usual patterns, one base or both sharing, are taken by a branch to a blend of
    // fixed lanes, so that the exponential's arguments do not wait for the mask.
    __m256d shared;
    if (sharingLanes == 0b0001) {
      shared = _mm256_blend_pd(arguments, breakdownArgument, 0b0001);
    } else if (sharingLanes == 0b0100) {
      shared = _mm256_blend_pd(arguments, breakdownArgument, 0b0100);
    } else if (sharingLanes == 0b0101) {
      shared = _mm256_blend_pd(arguments, breakdownArgument, 0b0101);
    } else {
      shared = _mm256_blendv_pd(arguments, breakdownArgument, sharing);
    }
    __m256d sharedE, sharedSlope;
    limitedExp4(shared, _mm256_andnot_pd(sharing, skip), sharedE, sharedSlope);
    junctionE = _mm256_andnot_pd(sharing, sharedE);
    junctionSlope = _mm256_andnot_pd(sharing, sharedSlope);
    __m256d de = _mm256_and_pd(sharing, sharedE);
    __m256d ds = _mm256_and_pd(sharing, sharedSlope);
    if (!shareLanes) [[unlikely]] {
      // Both breakdown junctions in one vector exp; a junction that does not conduct, and
      // the two other lanes, give 0. Only a NaN base comes here, and its evaluation's
      // residual is NaN, so the line search discards it; the junction voltages it keeps
      // do not depend on this exp.
      // Outside mode 2 the breakdown arguments are made again from the bases (the same
      // operations on the same values), so that they are not kept across the exponential
      // above; in mode 2 that costs more than it saves.
      __m256d argument = breakdownArgument;
      if constexpr (!ModeTwo) argument = _mm256_sub_pd(_mm256_xor_pd(v, negativeZero), set1(kBreakdownVoltage));
      const __m256d dead = _mm256_cmp_pd(argument, set1(-40.0 * VT), _CMP_LT_OS);
      limitedExp4(_mm256_blend_pd(argument, set1(-1.0), 0b1010), _mm256_blend_pd(dead, allLanes, 0b1010), de, ds);
    }
    Ibd = _mm256_mul_pd(isD, _mm256_sub_pd(de, one));
    breakdownConductance = _mm256_mul_pd(isD, ds);
  }
  // Lanes 0 and 2: the forward terms; lanes 1 and 3: the reverse terms (reverseBase,
  // isR rs).
  const __m256d scaled = _mm256_mul_pd(isFR, _mm256_sub_pd(junctionE, one));
  const __m256d swappedScaled = _mm256_permute_pd(scaled, 0b0101);
  // Ib in lanes 0 and 2, Ic in lanes 1 and 3.
  const __m256d Ib = _mm256_sub_pd(_mm256_add_pd(scaled, swappedScaled), Ibd);
  const __m256d IbScale = _mm256_add_pd(absolute(Ib), absolute(Ibd));
  const __m256d Ic = _mm256_sub_pd(_mm256_mul_pd(is, _mm256_sub_pd(_mm256_permute_pd(junctionE, 0b0101), junctionE)),
                                   scaled);
  // isF fs (lanes 0 and 2), isR rs (1 and 3); Is fs (0 and 2), Is rs (1 and 3).
  const __m256d pF = _mm256_mul_pd(isFR, junctionSlope);
  const __m256d pS = _mm256_mul_pd(is, junctionSlope);
  const __m256d swappedF = _mm256_permute_pd(pF, 0b0101);
  // The conductances before their product by 1 / VT: gBB in lanes 0 and 2, gCB and gCC
  // in lanes 1 and 3, gBC in lanes 0 and 2.
  const __m256d sumBB = _mm256_add_pd(_mm256_add_pd(pF, swappedF), breakdownConductance);
  const __m256d sumCB = _mm256_sub_pd(_mm256_sub_pd(_mm256_permute_pd(pS, 0b0101), pS), pF);
  const __m256d sumCC = _mm256_add_pd(pS, pF);

  F = _mm256_add_pd(F, _mm256_blend_pd(Ib, Ic, 0b1010));
  S = _mm256_add_pd(S, _mm256_blend_pd(IbScale, absolute(Ic), 0b1010));
  e.F = F;
  e.S = S;
  e.rhs = _mm256_xor_pd(F, negativeZero);

  // The base Jacobian is symmetric, so its rows serve as its columns; the transistors
  // add to column 0 (base A) gBB, gCB; column 1 (collector A) -gBC, gCC; columns 2 and 3
  // likewise for B. Each column adds its transistor's terms in its half and -0 in the
  // other, which keeps that half as it is; so each row is read once, by the addition.
  // In mode 2 the collectors' rows are read here from the stage, through a pointer the
  // compiler cannot see through: otherwise it copies them to the stack once per sub-step
  // and spills more around the bias paths' solve.
  const double* constants = w.constants;
  if constexpr (ModeTwo) constants = opaque(constants);
  // Each pair of conductances is multiplied by 1 / VT in one vector, each lane its own
  // product; -gBC is -(swappedF) / VT, a sign that the product keeps.
  const __m256d bases = _mm256_mul_pd(_mm256_blend_pd(sumBB, sumCB, 0b1010), invVT);
  const __m256d collectors = _mm256_mul_pd(_mm256_blend_pd(_mm256_xor_pd(swappedF, negativeZero), sumCC, 0b1010),
                                           invVT);
  constexpr int kHalfA = 0b0011;
  constexpr int kHalfB = 0b1100;
  e.col[0] = _mm256_add_pd(row0, _mm256_blend_pd(bases, negativeZero, kHalfB));
  e.col[1] = _mm256_add_pd(_mm256_load_pd(constants + kRows + 4), _mm256_blend_pd(collectors, negativeZero, kHalfB));
  e.col[2] = _mm256_add_pd(row2, _mm256_blend_pd(bases, negativeZero, kHalfA));
  e.col[3] = _mm256_add_pd(_mm256_load_pd(constants + kRows + 12), _mm256_blend_pd(collectors, negativeZero, kHalfA));
  e.r = sumOfSquares(F);
}

// Lane `lane` of x in all four lanes.
template <int Lane>
inline __m256d broadcastLane(__m256d x) {
  return _mm256_permute4x64_pd(x, Lane * 0x55);
}

// The lanes (bit r for row r) of the rows that stand below position C in the row order.
template <int C, int P0, int P1, int P2, int P3>
constexpr int rowsBelow() {
  int lanes = 0;
  if constexpr (C < 1) lanes |= 1 << P1;
  if constexpr (C < 2) lanes |= 1 << P2;
  if constexpr (C < 3) lanes |= 1 << P3;
  return lanes;
}

// J dx = rhs by whole columns, for eliminateInRowOrder: row r of the system stays in
// lane r. Eliminating column C subtracts f_r times the pivot row's entry from each later
// column in the lanes of the rows below the pivot, f_r = J[r][C] / pivot, the scalar
// multiply and subtract per entry; the other lanes keep their entries.
//
// The first column's pivot row keeps its zero (see stageZero) through the elimination:
// the column it would update is left as it is (subtracting a multiple of zero changes no
// entry), and the back-substitution skips the zero.
//
// Each pivot after the first is made again in every lane from the operands its lane of
// the last elimination had (the same operations on the same values): its division then
// starts as soon as the last reciprocal's products are made, without waiting for the
// column's update to be assembled and its pivot's lane broadcast.
struct Columns {
  static constexpr bool kStageSparsity = true;
  __m256d col[4];
  __m256d rhs;
  __m256d inverse{};     // the last eliminated column's reciprocal pivot, in every lane
  __m256d nextBefore{};  // the column after it, as it was before that elimination

  template <int C, int, int, int, int>
  void magnitudes(double* m) const {
    _mm256_store_pd(m, absolute(col[C]));
  }

  template <int C, int P0, int P1, int P2, int P3>
  void eliminate(double (&inversePivot)[4]) {
    constexpr int P[4] = {P0, P1, P2, P3};
    constexpr int p = P[C];
    constexpr int below = rowsBelow<C, P0, P1, P2, P3>();
    // The pivot in every lane: as the column holds it, or (a column the last elimination
    // updated) that update's entry for its row p, made from the same operands:
    // before[p] - (last[p] * inverse) * before[last pivot row].
    __m256d pivot;
    if constexpr (C == 0 || (C == 1 && stageZero(P0, 1))) {
      pivot = broadcastLane<p>(col[C]);
    } else {
      constexpr int last = P[C - 1];
      pivot = _mm256_sub_pd(
          broadcastLane<p>(nextBefore),
          _mm256_mul_pd(_mm256_mul_pd(broadcastLane<p>(col[C - 1]), inverse), broadcastLane<last>(nextBefore)));
    }
    // The reciprocal in every lane: no broadcast stands between the division and the
    // multipliers (each lane's quotient is the scalar 1 / pivot).
    inverse = _mm256_div_pd(set1(1.0), pivot);
    inversePivot[C] = _mm256_cvtsd_f64(inverse);
    const __m256d f = _mm256_mul_pd(col[C], inverse);
    if constexpr (C < 3) nextBefore = col[C + 1];
#pragma GCC unroll 4
    for (int j = C + 1; j < 4; ++j)
      if (C > 0 || !stageZero(p, j))
        col[j] = _mm256_blend_pd(col[j], _mm256_sub_pd(col[j], _mm256_mul_pd(f, broadcastLane<p>(col[j]))), below);
    rhs = _mm256_blend_pd(rhs, _mm256_sub_pd(rhs, _mm256_mul_pd(f, broadcastLane<p>(rhs))), below);
  }

  template <int P0, int P1, int P2, int P3>
  void backSubstitute(const double (&inversePivot)[4], double* dx) const {
    constexpr int P[4] = {P0, P1, P2, P3};
    alignas(32) double m[4][4];  // m[j][r]: column j, row r
    alignas(32) double b[4];
    for (int j = 1; j < 4; ++j) _mm256_store_pd(m[j], col[j]);
    _mm256_store_pd(b, rhs);
#pragma GCC unroll 4
    for (int i = 3; i >= 0; --i) {
      double sum = b[P[i]];
#pragma GCC unroll 4
      for (int j = i + 1; j < 4; ++j)
        if (i > 0 || !stageZero(P[0], j)) sum -= m[j][P[i]] * dx[j];
      dx[i] = sum * inversePivot[i];
    }
  }
};

// The solution in dx, and v + dx in next. Unknown 0 is solved last; next takes it in a
// scalar sum beside the vector sum of the others, so that no assembly of dx stands
// between it and the next evaluation.
inline bool solve(const VectorEvaluation& e, __m256d& dx, __m256d& next) {
  Columns a{{e.col[0], e.col[1], e.col[2], e.col[3]}, e.rhs};
  double x[4];
  if (!solveInRowOrder(a, x)) return false;
  // Assembled in registers: a vector load of four values just stored one by one would
  // wait for the stores to retire.
  dx = _mm256_setr_pd(x[0], x[1], x[2], x[3]);
  const __m128d x1 = _mm_set_sd(x[1]);
  const __m256d others = _mm256_add_pd(
      e.v, _mm256_set_m128d(_mm_unpacklo_pd(_mm_set_sd(x[2]), _mm_set_sd(x[3])), _mm_unpacklo_pd(x1, x1)));
  // Unknown 0 added to v's low lane by a scalar addition of lanes: no instruction makes
  // a vector of it first.
  __m128d first = _mm256_castpd256_pd128(e.v);
  first[0] += x[0];
  next = _mm256_blend_pd(others, _mm256_castpd128_pd256(first), 0b0001);
  return true;
}

// The changes an update makes to the junction voltages: |dx0|, |dx0 - dx1|, |dx2|,
// |dx2 - dx3|.
inline __m256d junctionChanges(__m256d dx) {
  // (dx0 - 0, dx0 - dx1, dx2 - 0, dx2 - dx3); subtracting +0 leaves a value as it is.
  return absolute(_mm256_sub_pd(_mm256_movedup_pd(dx), _mm256_blend_pd(_mm256_setzero_pd(), dx, 0b1010)));
}

// The largest of the junction changes in that order, each later one taken only when it
// is larger, as std::max does (so a NaN is passed over unless it comes first).
inline double largestJunctionChange(__m256d change) {
  const __m128d low = _mm256_castpd256_pd128(change);
  const __m128d high = _mm256_extractf128_pd(change, 1);
  // max_sd(x, m) is x when x > m, else m.
  __m128d m = _mm_max_sd(_mm_unpackhi_pd(low, low), low);
  m = _mm_max_sd(high, m);
  m = _mm_max_sd(_mm_unpackhi_pd(high, high), m);
  return _mm_cvtsd_f64(m);
}

// The Newton iteration's tolerances and damping limit in four lanes each, read by memory
// operands where they are used (as the exponential's, see exp4Constants).
struct NewtonConstants {
  Four stepRelative, stepAbsolute, residualRelative, residualAbsolute, damping;
};
inline constexpr NewtonConstants kNewtonConstants = {four(1e-6), four(1e-9), four(1e-3), four(1e-12), four(0.5)};

// All four lanes of a comparison hold.
inline bool all(__m256d mask) { return _mm256_movemask_pd(mask) == 0xf; }

// The damped Newton iteration from guess, as the baseline path's; on success the
// solution is written to stage.v.
template <bool ModeTwo>
inline bool newton(OutputStage& stage, const VectorSubStep& w, const double* guess) {
  VectorEvaluation cur;
  std::int32_t count = stage.stampCount;
  double junctionVoltage[2] = {stage.junctionVoltage[0], stage.junctionVoltage[1]};
  const auto finish = [&](bool solved) {
    stage.stampCount = count;
    if constexpr (ModeTwo) {
      stage.junctionVoltage[0] = junctionVoltage[0];
      stage.junctionVoltage[1] = junctionVoltage[1];
    }
    return solved;
  };
  evaluate<ModeTwo>(w, junctionVoltage, _mm256_loadu_pd(guess), cur);
  ++count;
  for (int iteration = 0; iteration < kNewtonIterations; ++iteration) {
    const __m256d v = cur.v;
    __m256d dx, next;
    if (!solve(cur, dx, next)) return finish(false);
    const NewtonConstants* K = opaque(&kNewtonConstants);
    const __m256d stepBound = _mm256_add_pd(_mm256_mul_pd(load(K->stepRelative), absolute(v)), load(K->stepAbsolute));
    if (all(_mm256_cmp_pd(absolute(dx), stepBound, _CMP_LE_OQ))) {
      _mm256_storeu_pd(stage.v, next);
      return finish(true);
    }
    const __m256d residualBound = _mm256_add_pd(_mm256_mul_pd(load(K->residualRelative), cur.S),
                                                load(K->residualAbsolute));
    if (all(_mm256_cmp_pd(absolute(cur.F), residualBound, _CMP_LE_OQ))) {
      _mm256_storeu_pd(stage.v, v);
      return finish(true);
    }
    // The step alpha dx; an undamped step is dx itself (1 dx = dx), next as the solve
    // made it.
    // The largest change is above 0.5 only when one of them is (a NaN compares false:
    // the largest is then a NaN or a value not above 0.5).
    double alpha = 1.0;
    const __m256d changes = junctionChanges(dx);
    if (_mm256_movemask_pd(_mm256_cmp_pd(changes, load(K->damping), _CMP_GT_OQ)) != 0) {
      const double m = largestJunctionChange(changes);
      if (m > 0.5) {
        alpha = 0.5 / m;
        next = _mm256_add_pd(v, _mm256_mul_pd(set1(alpha), dx));
      }
    }
    bool improved = false;
    for (int attempt = 0; attempt < kLineSearchTries; ++attempt) {
      VectorEvaluation trial;
      evaluate<ModeTwo>(w, junctionVoltage, next, trial);
      ++count;
      if (trial.r < cur.r) {
        cur = trial;
        improved = true;
        break;
      }
      alpha /= 2.0;
      next = _mm256_add_pd(v, _mm256_mul_pd(set1(alpha), dx));
    }
    if (!improved) return finish(false);
  }
  return finish(false);
}

// Whether the largest change of an unknown over a sub-step is at most 2 V. The scalar
// maximum passes over NaNs, so a NaN change is no change here either.
inline bool changedAtMostTwoVolts(__m256d v, __m256d vStart) {
  return _mm256_movemask_pd(_mm256_cmp_pd(absolute(_mm256_sub_pd(v, vStart)), set1(2.0), _CMP_GT_OQ)) == 0;
}

// The mask bits of the two bases' lanes (base A in bit 0, base B in bit 2).
constexpr int kBaseLanes = 0b0101;

inline int baseMask(__m256d mask) { return _mm256_movemask_pd(mask) & kBaseLanes; }

// The adaptive sub-steps of one interval: integrateSubSteps's control, step for step and
// value for value, with the tests on both bases made side by side in their lanes and the
// predictor's slope serving the turn-on lookahead too (the same quotient). The state
// stays in the stage between sub-steps: values held in registers across the Newton solve
// would be spilled inside it.
template <bool ModeTwo, bool ResistorsKept>
[[gnu::flatten]] bool integrate(OutputStage& s, double h, const StageDrive& stageDrive, std::int32_t budget) {
  const VectorDrive drive = vectorDrive<ResistorsKept>(s, stageDrive);
  double t = 0.0;
  double step = h;
  // A sub-step that needs more evaluations than one block can spend still advances,
  // over several blocks, instead of being retried at the full interval each time.
  if (s.resumeStep > 0.0) {
    step = std::min(s.resumeStep, h);
    s.resumeStep = 0.0;
  }
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    if (t >= h * 0.999999999999) return true;
    step = std::min(step, h - t);
    const __m256d v = _mm256_loadu_pd(s.v);
    // The predictor's slope from the last accepted sub-step (0 before the first).
    const __m256d slope = s.lastStep > 0.0 ? _mm256_div_pd(_mm256_sub_pd(v, _mm256_loadu_pd(s.vHist)), set1(s.lastStep))
                                           : _mm256_setzero_pd();
    // In the bases' lanes: each collector less its base.
    const __m256d driven = _mm256_cmp_pd(_mm256_sub_pd(_mm256_permute_pd(v, 0b1111), v), set1(1.0), _CMP_GT_OQ);
    if (baseMask(_mm256_cmp_pd(v, set1(0.4), _CMP_GT_OQ)) == kBaseLanes) step = std::min(step, 1.5e-6);
    // Limits the step so that a base approaching conduction (0.62 V) is reached in at
    // least two steps at its current slope (none before the first sub-step). The limit,
    // distance / slope, is at least the step wherever the distance exceeds step * slope
    // by more than that product's rounding (by far, with this margin); there it cannot
    // shorten the step, and the division is made only where it might. So the step
    // rarely waits for a quotient.
    const __m256d distance = _mm256_mul_pd(_mm256_sub_pd(set1(0.62), v), set1(0.5));
    const __m256d reach = _mm256_mul_pd(_mm256_mul_pd(set1(step), slope), set1(1.0000001));
    const int binding = baseMask(
        _mm256_and_pd(_mm256_and_pd(_mm256_and_pd(driven, _mm256_cmp_pd(v, set1(0.62), _CMP_LT_OQ)),
                                    _mm256_cmp_pd(slope, _mm256_setzero_pd(), _CMP_GT_OQ)),
                      _mm256_cmp_pd(distance, reach, _CMP_NGE_UQ)));
    if (binding != 0) [[unlikely]] {
      const __m256d limit = _mm256_max_pd(set1(1e-9), _mm256_div_pd(distance, slope));
      if (binding & 0b0001) step = std::min(step, _mm256_cvtsd_f64(limit));
      if (binding & 0b0100) step = std::min(step, _mm_cvtsd_f64(_mm256_extractf128_pd(limit, 1)));
    }
    // The calm-time window is the cheaper test, and usually fails.
    const bool trapezoid = s.refinement && s.calmTime > 0.0015 && s.calmTime < 0.15 &&
                           baseMask(_mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(v, set1(0.45), _CMP_GT_OQ),
                                                                _mm256_cmp_pd(v, set1(0.75), _CMP_LT_OQ)),
                                                  driven)) != 0;
    s.trapezoid = trapezoid ? 1 : 0;
    if (trapezoid) step = std::min(step, 3e-7);

    _mm256_storeu_pd(s.vStart, v);
    // std::clamp(x, -0.5, 0.5): max(-0.5, x) keeps x unless -0.5 > x, then min(0.5, .)
    // keeps it unless 0.5 < it, a NaN included.
    alignas(32) double guess[4];
    _mm256_store_pd(
        guess, _mm256_add_pd(v, _mm256_min_pd(set1(0.5), _mm256_max_pd(set1(-0.5), _mm256_mul_pd(slope, set1(step))))));
    const VectorSubStep w = prepareVector(s, step, trapezoid, v, drive);
    if (!newton<ModeTwo>(s, w, guess)) {
      step /= 2.0;
      s.holdOff = 2;
      if (step < 1e-14) return false;
      if (s.stampCount >= budget) {
        s.resumeStep = step;
        return false;
      }
      continue;
    }

    const __m256d vEnd = _mm256_loadu_pd(s.v);
    const __m256d vStart = _mm256_loadu_pd(s.vStart);
    if (changedAtMostTwoVolts(vEnd, vStart)) {
      s.calmTime += step;
    } else if (step <= 2.5e-7) {
      s.calmTime = 0.0;
    } else {
      _mm256_storeu_pd(s.v, vStart);
      step /= 2.0;
      continue;
    }

    // The capacitors' history currents from the conductances and start voltages the
    // sub-step was solved with.
    const __m256d I03 = _mm256_sub_pd(_mm256_mul_pd(w.gc03(), _mm256_sub_pd(acrossFirstFour(vEnd), w.start03)),
                                      w.history03);
    const __m256d I45 = _mm256_sub_pd(_mm256_mul_pd(w.gc45(), _mm256_sub_pd(acrossLastTwo(vEnd), w.start45)),
                                      w.history45);
    _mm256_storeu_pd(s.capCurrent, I03);
    s.capCurrent[4] = _mm256_cvtsd_f64(I45);
    s.capCurrent[5] = _mm_cvtsd_f64(_mm256_extractf128_pd(I45, 1));
    _mm256_storeu_pd(s.vHist, vStart);
    t += step;
    s.lastStep = step;
    s.timeDone += step;
    // The ends' sums in all lanes, of which the second collector's is used.
    s.integral += _mm256_add_pd(vStart, vEnd)[kCollectorB] / 2.0 * step;
    step = grownStep(s, step, h);
    if (s.stampCount >= budget) {
      s.resumeStep = step;
      return false;
    }
  }
  return false;
}

// One interval of a drive whose resistors are kept, from zero, with its integral and time
// done returned in registers. They are read back from the stage through an opaque
// pointer, which keeps the compiler from carrying them through the loop itself (where
// they would take a register or a stack slot from the sub-step's own values).
template <bool ModeTwo>
[[gnu::flatten]] SteadyInterval steadyInterval(OutputStage& s, double h, const StageDrive& drive, std::int32_t budget) {
  (void)integrate<ModeTwo, true>(s, h, drive, budget);
  const OutputStage* done = opaque(&s);
  return {done->integral, done->timeDone};
}

}  // namespace

bool integrateOutputStageAvx2(OutputStage& stage, double h, const StageDrive& drive, std::int32_t budget) {
  return drive.modeTwo ? integrate<true, false>(stage, h, drive, budget)
                       : integrate<false, false>(stage, h, drive, budget);
}

void keepOutputStageResistorsAvx2(OutputStage& stage, double rA, double rB) { keepDriveConductances(stage, rA, rB); }

SteadyInterval integrateOutputStageSteadyAvx2(OutputStage& stage, double h, const StageDrive& drive,
                                              std::int32_t budget) {
  stage.stampCount = 0;
  stage.integral = 0.0;
  stage.timeDone = 0.0;
  // x - x is 0 for a finite x and NaN for any other.
  const __m256d v = _mm256_loadu_pd(stage.v);
  const __m256d zeros = _mm256_sub_pd(v, v);
  if (_mm256_movemask_pd(_mm256_cmp_pd(zeros, zeros, _CMP_UNORD_Q)) != 0) [[unlikely]]
    return {0.0, -1.0};
  return drive.modeTwo ? steadyInterval<true>(stage, h, drive, budget) : steadyInterval<false>(stage, h, drive, budget);
}

}  // namespace corva
