#pragma once
// The output stage's sub-step control and the parts of its equations that every code
// path of its solver shares: the element values, the bias path's junction solve, the
// per-sub-step constants, the capacitor history and the adaptive integration. Each
// solver source includes it and instantiates the integration with its own Newton solve,
// so that the solve is inlined into the sub-step loop.

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "engine/damped_newton.h"
#include "engine/device_laws.h"
#include "engine/logarithm.h"
#include "engine/output_stage_solver.h"

namespace corva {
namespace {

constexpr double VT = kThermalVoltage;
constexpr double kInvVT = kInverseThermalVoltage;

// Device values, kept at the single precision they were specified in.
constexpr double kCc1 = static_cast<double>(10.22e-9f);
constexpr double kCc2 = static_cast<double>(10.32e-9f);
constexpr double kCbe = static_cast<double>(4.5e-12f);
constexpr double kCbc = static_cast<double>(4e-12f);
constexpr double kIsOverBetaF = static_cast<double>(5e-17f);
constexpr double kIs = static_cast<double>(1e-14f);
constexpr double kIsOverBetaR = static_cast<double>(2.5e-15f);
constexpr double kBreakdownIs = 1e-12;
constexpr double kBreakdownVoltage = 9.5;
constexpr double kCollectorLoad = 1.0 / 4660.0;
constexpr double kBiasResistor = 220000.0;
constexpr double kSeriesJunctionIs = 1e-14;
constexpr double kLeak = 1e-9;
constexpr int kGround = -1;

struct CapacitorBranch {
  int a;
  int b;  // kGround when the capacitor goes to ground
  double C;
};

// Order matches OutputStage::capCurrent.
constexpr CapacitorBranch kCapacitors[6] = {
    {kCollectorA, kBaseB, kCc1}, {kCollectorB, kBaseA, kCc2}, {kBaseA, kGround, kCbe},
    {kBaseB, kGround, kCbe},     {kBaseA, kCollectorA, kCbc}, {kBaseB, kCollectorB, kCbc},
};

constexpr int kLineSearchTries = 3;

inline double at(const double* v, int node) { return node == kGround ? 0.0 : v[node]; }

// The bias path's junction solve, inlined into the stage's evaluation.
// vt is the drive across the pair, source less node.
inline SeriesJunctionResult seriesJunctionDriven(double vt, double R, double& junctionVoltage) {
  const double Is = kSeriesJunctionIs;
  double vd;
  if (vt <= 0.3) {
    vd = vt;
  } else if (junctionVoltage > 0.0 && vt > junctionVoltage) {
    vd = junctionVoltage;
  } else {
    vd = std::min(VT * logarithm(vt / (Is * R)), vt);
  }
  // The current and conductance come from the last evaluation: on convergence that is
  // the one before the final (sub-0.1 uV) step; after 8 iterations, the final voltage.
  LimitedExp e{};
  bool converged = false;
  for (int iteration = 0; iteration < 8; ++iteration) {
    e = limitedExp(vd);
    const double f = vt - vd - R * Is * (e.e - 1.0);
    // The Newton step -f / f', f' = -1 - R Is slope / VT, with both operands negated
    // (which leaves the quotient as it is).
    const double step = std::clamp(f / (1.0 + R * Is * e.slope * kInvVT), -0.5, 0.5);
    vd += step;
    if (std::fabs(step) < 1e-7) {
      converged = true;
      break;
    }
  }
  if (!converged) e = limitedExp(vd);
  junctionVoltage = vd;
  const double gd = Is * e.slope * kInvVT;
  return {Is * (e.e - 1.0), -gd / (gd * R + 1.0)};
}

inline SeriesJunctionResult seriesJunction(double sourceVoltage, double nodeVoltage, double R,
                                           double& junctionVoltage) {
  return seriesJunctionDriven(sourceVoltage - nodeVoltage, R, junctionVoltage);
}

// Everything the evaluations of one sub-step share: the drive, the capacitors'
// conductances and history, and the parts of the Jacobian's diagonal that do not depend
// on the iterate, summed in the order the full stamp adds them.
struct SubStep {
  double sourceA, sourceB, gate, biasVoltage;
  double gA, gB;
  double gc[6];           // C/step, or 2C/step in a trapezoidal sub-step
  double startDiff[6];    // each capacitor's voltage at the start of the sub-step
  double history[6];      // companion history current (trapezoidal), else 0
  double offDiagonal[6];  // 0 - gc: each capacitor's Jacobian term between its two nodes
  double diagA;           // base A: leak + base resistor (+ capacitors when no bias path)
  double diagCA;          // collector A: leak + load + capacitors
  double diagB;           // base B, like base A
  double diagCB;          // collector B
};

inline SubStep prepareSubStep(const OutputStage& stage, double step, const StageDrive& drive) {
  SubStep k;
  k.sourceA = drive.sourceA;
  k.sourceB = drive.sourceB;
  k.gate = drive.gate;
  k.biasVoltage = drive.biasVoltage;
  k.gA = 1.0 / drive.rA;
  k.gB = 1.0 / drive.rB;
  for (int i = 0; i < 6; ++i) {
    const CapacitorBranch& cap = kCapacitors[i];
    k.gc[i] = stage.trapezoid ? 2.0 * cap.C / step : cap.C / step;
    k.startDiff[i] = at(stage.vStart, cap.a) - at(stage.vStart, cap.b);
    // Subtracting +0 leaves a backward-Euler current exactly as it is.
    k.history[i] = stage.trapezoid ? stage.capCurrent[i] : 0.0;
    k.offDiagonal[i] = 0.0 - k.gc[i];
  }
  k.diagA = kLeak + k.gA;
  k.diagB = kLeak + k.gB;
  if (!drive.modeTwo) {
    k.diagA = k.diagA + k.gc[1] + k.gc[2] + k.gc[4];
    k.diagB = k.diagB + k.gc[0] + k.gc[3] + k.gc[5];
  }
  k.diagCA = kLeak + kCollectorLoad + k.gc[0] + k.gc[4];
  k.diagCB = kLeak + kCollectorLoad + k.gc[1] + k.gc[5];
  return k;
}

// Companion history currents after an accepted sub-step, from the conductances and
// start voltages the sub-step was solved with.
inline void acceptCapacitorHistory(OutputStage& stage, const SubStep& k) {
#pragma GCC unroll 6
  for (int i = 0; i < 6; ++i) {
    const CapacitorBranch& cap = kCapacitors[i];
    stage.capCurrent[i] = k.gc[i] * ((at(stage.v, cap.a) - at(stage.v, cap.b)) - k.startDiff[i]) - k.history[i];
  }
}

// Gaussian elimination with partial pivoting of the four unknowns' system, unrolled at
// compile time: a row exchange swaps two entries of the row order P instead of moving
// the rows, so that every access has a fixed index (row P[i] stands at position i). The
// system's layout is its own; System provides
//   magnitudes<C, P0, P1, P2, P3>(m): m[r] = |J[r][C]| at least for the rows from
//     position C on (m is 32-byte aligned),
//   eliminate<C, P0, P1, P2, P3>(inversePivot): column C below its pivot row, which
//     stands at position C; it sets inversePivot[C] = 1 / pivot,
//   backSubstitute<P0, P1, P2, P3>(inversePivot, dx): the solution into dx,
//   kStageSparsity: whether the system has the stage's own zeros (see stageZero),
// False when a pivot is below 1e-300.
template <int C, int P0, int P1, int P2, int P3, class System>
[[nodiscard]] inline bool eliminateInRowOrder(System& a, double (&inversePivot)[4], double* dx);

// The stage's Jacobian has no entry between a base and the other transistor's collector:
// row r has a zero in column (r + 2) mod 4. Elimination starts from the rows as they are,
// so before the first column is eliminated these entries are exactly zero; afterwards
// they fill in.
constexpr bool stageZero(int row, int column) { return column == (row + 2) % 4; }

// Eliminates column C in row order P, then the columns after it.
template <int C, int P0, int P1, int P2, int P3, class System>
[[nodiscard]] inline bool eliminateColumnThenRest(System& a, double (&inversePivot)[4], double* dx) {
  a.template eliminate<C, P0, P1, P2, P3>(inversePivot);
  return eliminateInRowOrder<C + 1, P0, P1, P2, P3>(a, inversePivot, dx);
}

// Exchanges positions C and B of the row order, then eliminates column C.
template <int C, int B, int P0, int P1, int P2, int P3, class System>
[[nodiscard]] inline bool pivotOn(System& a, double (&inversePivot)[4], double* dx) {
  constexpr int P[4] = {P0, P1, P2, P3};
  constexpr int Q[4] = {B == 0   ? P[C]
                        : C == 0 ? P[B]
                                 : P[0],
                        B == 1   ? P[C]
                        : C == 1 ? P[B]
                                 : P[1],
                        B == 2   ? P[C]
                        : C == 2 ? P[B]
                                 : P[2],
                        B == 3   ? P[C]
                        : C == 3 ? P[B]
                                 : P[3]};
  return eliminateColumnThenRest<C, Q[0], Q[1], Q[2], Q[3]>(a, inversePivot, dx);
}

template <int C, int P0, int P1, int P2, int P3, class System>
[[nodiscard]] inline bool eliminateInRowOrder(System& a, double (&inversePivot)[4], double* dx) {
  if constexpr (C == 4) {
    a.template backSubstitute<P0, P1, P2, P3>(inversePivot, dx);
    return true;
  } else {
    constexpr int P[4] = {P0, P1, P2, P3};
    alignas(32) double magnitude[4];
    a.template magnitudes<C, P0, P1, P2, P3>(magnitude);
    // The first of equal candidates wins: a later row must be strictly larger.
    double largest = magnitude[P[C]];
    int best = C;
#pragma GCC unroll 4
    for (int r = C + 1; r < 4; ++r) {
      // A zero never wins: a later row must be strictly larger.
      if (System::kStageSparsity && C == 0 && stageZero(P[r], 0)) continue;
      if (magnitude[P[r]] > largest) {
        largest = magnitude[P[r]];
        best = r;
      }
    }
    if (!(largest >= 1e-300)) return false;
    if constexpr (C < 3) {
      if (best == C + 1) return pivotOn<C, (C < 3 ? C + 1 : C), P0, P1, P2, P3>(a, inversePivot, dx);
    }
    if constexpr (C < 2) {
      if (best == C + 2) return pivotOn<C, (C < 2 ? C + 2 : C), P0, P1, P2, P3>(a, inversePivot, dx);
    }
    if constexpr (C < 1) {
      if (best == 3) return pivotOn<C, 3, P0, P1, P2, P3>(a, inversePivot, dx);
    }
    return eliminateColumnThenRest<C, P0, P1, P2, P3>(a, inversePivot, dx);
  }
}

// Solves the system for the four unknowns, destroying it.
template <class System>
[[nodiscard]] inline bool solveInRowOrder(System& a, double* dx) {
  double inversePivot[4];
  return eliminateInRowOrder<0, 0, 1, 2, 3>(a, inversePivot, dx);
}

constexpr int kMaxAttempts = 200000;

// Limits the step so that a base approaching conduction (0.62 V) is reached in at least
// two steps at its current slope.
inline double turnOnLookahead(const OutputStage& s, int base, int collector, double step) {
  const double vb = s.v[base];
  if (s.v[collector] - vb > 1.0 && vb < 0.62) {
    const double slope = (vb - s.vHist[base]) / s.lastStep;
    if (slope > 0.0) step = std::min(step, std::max((0.62 - vb) * 0.5 / slope, 1e-9));
  }
  return step;
}

inline bool nearSwitching(const OutputStage& s, int base, int collector) {
  const double vb = s.v[base];
  return vb > 0.45 && vb < 0.75 && s.v[collector] - vb > 1.0;
}

// After an accepted sub-step: the next one's length, half as long again unless its
// growth is held off.
inline double grownStep(OutputStage& s, double step, double h) {
  if (s.holdOff < 1) return std::min(1.5 * step, h);
  s.holdOff -= 1;
  return std::min(step, h);
}

// The adaptive sub-steps of one interval. solve(stage, subStep, guess) is the Newton
// solve of one sub-step, with the constants prepareSubStep made for it: on success it
// leaves the solution in stage.v. (The AVX2 path has a loop of its own, step for step
// this one.)
template <class Solve>
[[nodiscard]] inline bool integrateSubSteps(OutputStage& s, double h, const StageDrive& drive, std::int32_t budget,
                                            Solve&& solve) {
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
    if (s.v[kBaseA] > 0.4 && s.v[kBaseB] > 0.4) step = std::min(step, 1.5e-6);
    if (s.lastStep > 0.0) {
      step = turnOnLookahead(s, kBaseA, kCollectorA, step);
      step = turnOnLookahead(s, kBaseB, kCollectorB, step);
    }
    // The calm-time window is the cheaper test, and usually fails.
    if (s.refinement && s.calmTime > 0.0015 && s.calmTime < 0.15 &&
        (nearSwitching(s, kBaseA, kCollectorA) || nearSwitching(s, kBaseB, kCollectorB))) {
      s.trapezoid = 1;
      step = std::min(step, 3e-7);
    } else {
      s.trapezoid = 0;
    }

    // vStart = v; the predictor's guess from the last accepted sub-step's slope.
    double guess[4];
    for (int i = 0; i < 4; ++i) {
      s.vStart[i] = s.v[i];
      const double slope = s.lastStep > 0.0 ? (s.v[i] - s.vHist[i]) / s.lastStep : 0.0;
      guess[i] = s.v[i] + std::clamp(slope * step, -0.5, 0.5);
    }

    const SubStep k = prepareSubStep(s, step, drive);
    if (!solve(s, k, guess)) {
      step /= 2.0;
      s.holdOff = 2;
      if (step < 1e-14) return false;
      if (s.stampCount >= budget) {
        s.resumeStep = step;
        return false;
      }
      continue;
    }

    // The largest change of an unknown over the sub-step.
    double change = 0.0;
    for (int i = 0; i < 4; ++i) change = std::max(change, std::fabs(s.v[i] - s.vStart[i]));
    if (change <= 2.0) {
      s.calmTime += step;
    } else if (step <= 2.5e-7) {
      s.calmTime = 0.0;
    } else {
      for (int i = 0; i < 4; ++i) s.v[i] = s.vStart[i];
      step /= 2.0;
      continue;
    }

    // The capacitors' history currents, and vHist = vStart.
    acceptCapacitorHistory(s, k);
    for (int i = 0; i < 4; ++i) s.vHist[i] = s.vStart[i];
    t += step;
    s.lastStep = step;
    s.timeDone += step;
    s.integral += (s.vStart[kCollectorB] + s.v[kCollectorB]) / 2.0 * step;
    step = grownStep(s, step, h);
    if (s.stampCount >= budget) {
      s.resumeStep = step;
      return false;
    }
  }
  return false;
}

}  // namespace
}  // namespace corva
