#include "engine/output_stage_solver.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/output_stage_steps.h"

namespace corva {

namespace {

// One grounded-emitter NPN transistor with base-emitter breakdown at base voltage vb and
// collector voltage vc: the currents into base and collector and their derivatives.
struct TransistorStamp {
  double Ib;                  // base current
  double IbScale;             // |base current terms| for the current scale
  double Ic;                  // collector current
  double gBB, gBC, gCB, gCC;  // Jacobian terms (base row, collector row)
};

inline TransistorStamp transistorLaw(double vb, double vc) {
  // An exponential that stays below exp(-50) of the terms it is added to cannot change
  // any sum in double precision, so its exp is skipped: the forward junction of a base
  // held below -1.29 V, the reverse junction of a collector 1.29 V above both its base
  // and ground, and the breakdown junction of a base above about -8.47 V.
  constexpr double kNegligible = 50.0 * VT;
  constexpr LimitedExp kZero{0.0, 0.0};
  const LimitedExp f = vb < -kNegligible ? kZero : limitedExp(vb);
  const LimitedExp r = (vc - vb > kNegligible && vc > kNegligible) ? kZero : limitedExp(vb - vc);
  const double breakdownArgument = -vb - kBreakdownVoltage;
  const LimitedExp d = breakdownArgument < -40.0 * VT ? kZero : limitedExp(breakdownArgument);
  const double Ibd = kBreakdownIs * (d.e - 1.0);
  TransistorStamp t;
  t.Ib = kIsOverBetaF * (f.e - 1.0) + kIsOverBetaR * (r.e - 1.0) - Ibd;
  t.IbScale = std::fabs(t.Ib) + std::fabs(Ibd);
  t.Ic = kIs * (f.e - r.e) - kIsOverBetaR * (r.e - 1.0);
  t.gBB = (kIsOverBetaF * f.slope + kIsOverBetaR * r.slope + kBreakdownIs * d.slope) * kInvVT;
  t.gBC = kIsOverBetaR * r.slope * kInvVT;
  t.gCB = (kIs * f.slope - kIs * r.slope - kIsOverBetaR * r.slope) * kInvVT;
  t.gCC = (kIs * r.slope + kIsOverBetaR * r.slope) * kInvVT;
  return t;
}

// Residual F, current scale S and the augmented system [J | -F] that the linear solve
// eliminates in place.
struct Evaluation {
  double F[4];
  double S[4];
  double a[4][5];
};

// The stage's equations at v: resistors, bias paths (mode 2), capacitors and both
// transistors, each quantity summed in the same order as element by element.
template <bool ModeTwo>
inline void evaluate(const SubStep& k, double (&junctionVoltage)[2], const double* v, Evaluation& e) {
  const double v0 = v[kBaseA], v1 = v[kCollectorA], v2 = v[kBaseB], v3 = v[kCollectorB];
  double F0 = kLeak * v0, F1 = kLeak * v1, F2 = kLeak * v2, F3 = kLeak * v3;
  double S0 = std::fabs(F0), S1 = std::fabs(F1), S2 = std::fabs(F2), S3 = std::fabs(F3);

  const double IA = (v0 - k.sourceA) * k.gA;
  const double IB = (v2 - k.sourceB) * k.gB;
  const double ICA = (v1 - k.gate) * kCollectorLoad;
  const double ICB = (v3 - k.gate) * kCollectorLoad;
  // Each element adds its current to a node's residual and its magnitude to the node's
  // scale, in the order of the element list.
  const auto into = [](double& F, double& S, double I) {
    F += I;
    S += std::fabs(I);
  };
  const auto outOf = [](double& F, double& S, double I) {
    F -= I;
    S += std::fabs(I);
  };
  into(F0, S0, IA);
  into(F2, S2, IB);
  into(F1, S1, ICA);
  into(F3, S3, ICB);

  double J00 = k.diagA, J22 = k.diagB;
  if constexpr (ModeTwo) {
    const SeriesJunctionResult a = seriesJunction(k.biasVoltage, v0, kBiasResistor, junctionVoltage[0]);
    outOf(F0, S0, a.current);
    J00 -= a.conductance;
    const SeriesJunctionResult b = seriesJunction(k.biasVoltage, v2, kBiasResistor, junctionVoltage[1]);
    outOf(F2, S2, b.current);
    J22 -= b.conductance;
    J00 = J00 + k.gc[1] + k.gc[2] + k.gc[4];
    J22 = J22 + k.gc[0] + k.gc[3] + k.gc[5];
  }

  const double I0 = k.gc[0] * ((v1 - v2) - k.startDiff[0]) - k.history[0];  // Cc1
  const double I1 = k.gc[1] * ((v3 - v0) - k.startDiff[1]) - k.history[1];  // Cc2
  const double I2 = k.gc[2] * (v0 - k.startDiff[2]) - k.history[2];         // Cbe1
  const double I3 = k.gc[3] * (v2 - k.startDiff[3]) - k.history[3];         // Cbe2
  const double I4 = k.gc[4] * ((v0 - v1) - k.startDiff[4]) - k.history[4];  // Cbc1
  const double I5 = k.gc[5] * ((v2 - v3) - k.startDiff[5]) - k.history[5];  // Cbc2
  into(F1, S1, I0);                                                         // Cc1
  outOf(F2, S2, I0);
  into(F3, S3, I1);  // Cc2
  outOf(F0, S0, I1);
  into(F0, S0, I2);  // Cbe1
  into(F2, S2, I3);  // Cbe2
  into(F0, S0, I4);  // Cbc1
  outOf(F1, S1, I4);
  into(F2, S2, I5);  // Cbc2
  outOf(F3, S3, I5);

  const TransistorStamp qa = transistorLaw(v0, v1);
  const TransistorStamp qb = transistorLaw(v2, v3);
  e.F[0] = F0 + qa.Ib;
  e.S[0] = S0 + qa.IbScale;
  e.F[1] = F1 + qa.Ic;
  e.S[1] = S1 + std::fabs(qa.Ic);
  e.F[2] = F2 + qb.Ib;
  e.S[2] = S2 + qb.IbScale;
  e.F[3] = F3 + qb.Ic;
  e.S[3] = S3 + std::fabs(qb.Ic);

  double(&a)[4][5] = e.a;
  a[0][0] = J00 + qa.gBB;
  a[0][1] = k.offDiagonal[4] - qa.gBC;
  a[0][2] = 0.0;
  a[0][3] = k.offDiagonal[1];
  a[0][4] = -e.F[0];
  a[1][0] = k.offDiagonal[4] + qa.gCB;
  a[1][1] = k.diagCA + qa.gCC;
  a[1][2] = k.offDiagonal[0];
  a[1][3] = 0.0;
  a[1][4] = -e.F[1];
  a[2][0] = 0.0;
  a[2][1] = k.offDiagonal[0];
  a[2][2] = J22 + qb.gBB;
  a[2][3] = k.offDiagonal[5] - qb.gBC;
  a[2][4] = -e.F[2];
  a[3][0] = k.offDiagonal[1];
  a[3][1] = 0.0;
  a[3][2] = k.offDiagonal[5] + qb.gCB;
  a[3][3] = k.diagCB + qb.gCC;
  a[3][4] = -e.F[3];
}

using DoublePair = double __attribute__((vector_size(16)));

// row[0..1] -= f * pivotRow[0..1].
inline void subtractScaledPair(double* row, const double* pivotRow, double f) {
  DoublePair x;
  DoublePair p;
  std::memcpy(&x, row, sizeof x);
  std::memcpy(&p, pivotRow, sizeof p);
  const DoublePair scale = {f, f};
  x -= scale * p;
  std::memcpy(row, &x, sizeof x);
}

// The augmented system [J | -F] by rows, for eliminateInRowOrder.
struct AugmentedRows {
  static constexpr bool kStageSparsity = false;
  double (&a)[4][5];

  template <int C, int P0, int P1, int P2, int P3>
  void magnitudes(double* m) const {
    constexpr int P[4] = {P0, P1, P2, P3};
#pragma GCC unroll 4
    for (int r = C; r < 4; ++r) m[P[r]] = std::fabs(a[P[r]][C]);
  }

  template <int C, int P0, int P1, int P2, int P3>
  void eliminate(double (&inversePivot)[4]) {
    constexpr int P[4] = {P0, P1, P2, P3};
    inversePivot[C] = 1.0 / a[P[C]][C];
#pragma GCC unroll 4
    for (int r = C + 1; r < 4; ++r) {
      const double f = a[P[r]][C] * inversePivot[C];
      // Columns C+1..4, the last ones two at a time: each lane does the same scalar
      // multiply and subtract.
      if constexpr (C == 1) a[P[r]][2] -= f * a[P[C]][2];
      if constexpr (C == 0) subtractScaledPair(&a[P[r]][1], &a[P[C]][1], f);
      if constexpr (C < 3) subtractScaledPair(&a[P[r]][3], &a[P[C]][3], f);
    }
  }

  template <int P0, int P1, int P2, int P3>
  void backSubstitute(const double (&inversePivot)[4], double* dx) const {
    constexpr int P[4] = {P0, P1, P2, P3};
#pragma GCC unroll 4
    for (int i = 3; i >= 0; --i) {
      double sum = a[P[i]][4];
#pragma GCC unroll 4
      for (int j = i + 1; j < 4; ++j) sum -= a[P[i]][j] * dx[j];
      dx[i] = sum * inversePivot[i];
    }
  }
};

// Solves the augmented system for the four unknowns, destroying it; false when a pivot
// is below 1e-300.
inline bool solveAugmented(double (&a)[4][5], double* dx) {
  AugmentedRows rows{a};
  return solveInRowOrder(rows, dx);
}

inline double sumOfSquares(const double* F) {
  double r = 0.0;
  for (int i = 0; i < 4; ++i) r += F[i] * F[i];
  return r;
}

// The damped Newton iteration on the four unknowns from guess; on success the solution
// is written to stage.v.
template <bool ModeTwo>
inline bool newton(OutputStage& stage, const SubStep& k, const double* guess) {
  // The iterate travels with its evaluation; both are held by value, so that the
  // compiler can keep them in registers.
  struct Iterate {
    double v[4];
    double r;  // sum of the squared residuals
    Evaluation e;
  };
  Iterate cur;
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
  for (int i = 0; i < 4; ++i) cur.v[i] = guess[i];
  evaluate<ModeTwo>(k, junctionVoltage, cur.v, cur.e);
  ++count;
  cur.r = sumOfSquares(cur.e.F);
  for (int iteration = 0; iteration < kNewtonIterations; ++iteration) {
    const double* v = cur.v;
    double dx[4];
    if (!solveAugmented(cur.e.a, dx)) return finish(false);
    bool stepSmall = true;
    for (int i = 0; i < 4 && stepSmall; ++i) stepSmall = std::fabs(dx[i]) <= 1e-6 * std::fabs(v[i]) + 1e-9;
    if (stepSmall) {
      for (int i = 0; i < 4; ++i) stage.v[i] = v[i] + dx[i];
      return finish(true);
    }
    bool residualSmall = true;
    for (int i = 0; i < 4 && residualSmall; ++i) residualSmall = std::fabs(cur.e.F[i]) <= 1e-3 * cur.e.S[i] + 1e-12;
    if (residualSmall) {
      for (int i = 0; i < 4; ++i) stage.v[i] = v[i];
      return finish(true);
    }
    const double m = std::max({std::fabs(dx[kBaseA]), std::fabs(dx[kBaseA] - dx[kCollectorA]), std::fabs(dx[kBaseB]),
                               std::fabs(dx[kBaseB] - dx[kCollectorB])});
    double alpha = m > 0.5 ? 0.5 / m : 1.0;
    bool improved = false;
    for (int attempt = 0; attempt < kLineSearchTries; ++attempt) {
      Iterate trial;
      for (int i = 0; i < 4; ++i) trial.v[i] = v[i] + alpha * dx[i];
      evaluate<ModeTwo>(k, junctionVoltage, trial.v, trial.e);
      ++count;
      trial.r = sumOfSquares(trial.e.F);
      if (trial.r < cur.r) {
        cur = trial;
        improved = true;
        break;
      }
      alpha /= 2.0;
    }
    if (!improved) return finish(false);
  }
  return finish(false);
}

// The adaptive sub-steps of one interval, with the Newton solve of each inlined.
template <bool ModeTwo>
[[gnu::flatten]] bool integrate(OutputStage& s, double h, const StageDrive& drive, std::int32_t budget) {
  return integrateSubSteps(s, h, drive, budget, [](OutputStage& stage, const SubStep& k, const double* guess) {
    return newton<ModeTwo>(stage, k, guess);
  });
}

}  // namespace

void stampOutputTransistor(const double* v, int base, int collector, double* F, double* J, double* S) {
  const TransistorStamp t = transistorLaw(v[base], v[collector]);
  F[base] += t.Ib;
  S[base] += t.IbScale;
  F[collector] += t.Ic;
  S[collector] += std::fabs(t.Ic);
  J[base * 4 + base] += t.gBB;
  J[base * 4 + collector] -= t.gBC;
  J[collector * 4 + base] += t.gCB;
  J[collector * 4 + collector] += t.gCC;
}

SeriesJunctionResult solveSeriesJunction(double sourceVoltage, double nodeVoltage, double R, double& junctionVoltage) {
  return seriesJunction(sourceVoltage, nodeVoltage, R, junctionVoltage);
}

void stampOutputStage(OutputStage& stage, const double* v, double step, const StageDrive& drive, double* F, double* S,
                      double* J) {
  const SubStep k = prepareSubStep(stage, step, drive);
  Evaluation e;
  if (drive.modeTwo) evaluate<true>(k, stage.junctionVoltage, v, e);
  else evaluate<false>(k, stage.junctionVoltage, v, e);
  stage.stampCount += 1;
  for (int i = 0; i < 4; ++i) {
    F[i] = e.F[i];
    S[i] = e.S[i];
  }
  for (int i = 0; i < 16; ++i) J[i] = e.a[i / 4][i % 4];
}

bool solveLinearSystem4(const double* J, const double* rhs, double* dx) {
  double a[4][5];
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) a[r][c] = J[r * 4 + c];
    a[r][4] = rhs[r];
  }
  return solveAugmented(a, dx);
}

bool solveOutputStage(OutputStage& stage, double step, const StageDrive& drive, const double* guess) {
  const SubStep k = prepareSubStep(stage, step, drive);
  return drive.modeTwo ? newton<true>(stage, k, guess) : newton<false>(stage, k, guess);
}

namespace {

bool cpuRunsVectorPath() {
#ifdef CORVA_VECTOR_PATHS
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

const bool vectorPathAvailable = cpuRunsVectorPath();
bool vectorPathOn = vectorPathAvailable;

}  // namespace

bool outputStageVectorPathAvailable() { return vectorPathAvailable; }

void useOutputStageVectorPath(bool on) { vectorPathOn = on && vectorPathAvailable; }

bool vectorPathsOn() { return vectorPathOn; }

bool integrateOutputStage(OutputStage& stage, double h, const StageDrive& drive, std::int32_t budget) {
#ifdef CORVA_VECTOR_PATHS
  if (vectorPathOn) return integrateOutputStageAvx2(stage, h, drive, budget);
#endif
  return drive.modeTwo ? integrate<true>(stage, h, drive, budget) : integrate<false>(stage, h, drive, budget);
}

void updateCapacitorHistory(OutputStage& stage, double step) {
  // The update the integration makes after each accepted sub-step; the drive does not
  // enter it.
  const StageDrive noDrive{1.0, 0.0, 1.0, 0.0, 0.0, false, 0.0};
  acceptCapacitorHistory(stage, prepareSubStep(stage, step, noDrive));
}

}  // namespace corva
