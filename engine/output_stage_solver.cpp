#include "engine/output_stage_solver.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/damped_newton.h"
#include "engine/device_laws.h"

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

double capacitorDelta(const double* v, const double* vStart, const CapacitorBranch& cap) {
  return (at(v, cap.a) - at(v, cap.b)) - (at(vStart, cap.a) - at(vStart, cap.b));
}

// Conductances that stay fixed for every evaluation of one sub-step.
struct StepConductances {
  double baseA;
  double baseB;
  double capacitor[6];  // C/step, or 2C/step for a trapezoidal sub-step
};

StepConductances stepConductances(const OutputStage& stage, double step, const StageDrive& drive) {
  StepConductances g;
  g.baseA = 1.0 / drive.rA;
  g.baseB = 1.0 / drive.rB;
  for (int k = 0; k < 6; ++k)
    g.capacitor[k] = stage.trapezoid ? 2.0 * kCapacitors[k].C / step : kCapacitors[k].C / step;
  return g;
}

void stamp(OutputStage& stage, const double* v, const StageDrive& drive, const StepConductances& g, double* F,
           double* S, double* J);

// One capacitor's companion model between A and B (B may be ground), with the branch
// fixed at compile time so that the stamp has no per-branch tests.
template <int A, int B>
inline void stampCapacitor(const OutputStage& stage, int k, const double* v, const StepConductances& g, double* F,
                           double* S, double* J) {
  const double vb = B == kGround ? 0.0 : v[B];
  const double vbStart = B == kGround ? 0.0 : stage.vStart[B];
  const double delta = (v[A] - vb) - (stage.vStart[A] - vbStart);
  const double gc = g.capacitor[k];
  const double I = stage.trapezoid ? gc * delta - stage.capCurrent[k] : gc * delta;
  F[A] += I;
  S[A] += std::fabs(I);
  J[A * 4 + A] += gc;
  if constexpr (B != kGround) {
    F[B] -= I;
    S[B] += std::fabs(I);
    J[B * 4 + B] += gc;
    J[A * 4 + B] -= gc;
    J[B * 4 + A] -= gc;
  }
}

}  // namespace

void stampOutputTransistor(const double* v, int base, int collector, double* F, double* J, double* S) {
  const double vb = v[base];
  const double vc = v[collector];
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
  const double Ib = kIsOverBetaF * (f.e - 1.0) + kIsOverBetaR * (r.e - 1.0) - Ibd;
  F[base] += Ib;
  S[base] += std::fabs(Ib) + std::fabs(Ibd);
  const double Ic = kIs * (f.e - r.e) - kIsOverBetaR * (r.e - 1.0);
  F[collector] += Ic;
  S[collector] += std::fabs(Ic);
  J[base * 4 + base] += (kIsOverBetaF * f.slope + kIsOverBetaR * r.slope + kBreakdownIs * d.slope) * kInvVT;
  J[base * 4 + collector] -= kIsOverBetaR * r.slope * kInvVT;
  J[collector * 4 + base] += (kIs * f.slope - kIs * r.slope - kIsOverBetaR * r.slope) * kInvVT;
  J[collector * 4 + collector] += (kIs * r.slope + kIsOverBetaR * r.slope) * kInvVT;
}

SeriesJunctionResult solveSeriesJunction(double sourceVoltage, double nodeVoltage, double R,
                                         double& junctionVoltage) {
  const double Is = kSeriesJunctionIs;
  const double vt = sourceVoltage - nodeVoltage;
  double vd;
  if (vt <= 0.3) {
    vd = vt;
  } else if (junctionVoltage > 0.0 && vt > junctionVoltage) {
    vd = junctionVoltage;
  } else {
    vd = std::min(VT * std::log(vt / (Is * R)), vt);
  }
  // The current and conductance come from the last evaluation: on convergence that is
  // the one before the final (sub-0.1 uV) step; after 8 iterations, the final voltage.
  LimitedExp e{};
  bool converged = false;
  for (int iteration = 0; iteration < 8; ++iteration) {
    e = limitedExp(vd);
    const double f = vt - vd - R * Is * (e.e - 1.0);
    const double fPrime = -1.0 - R * Is * e.slope * kInvVT;
    const double step = std::clamp(-f / fPrime, -0.5, 0.5);
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

void stampOutputStage(OutputStage& stage, const double* v, double step, const StageDrive& drive,
                      double* F, double* S, double* J) {
  stamp(stage, v, drive, stepConductances(stage, step, drive), F, S, J);
}

namespace {

void stamp(OutputStage& stage, const double* v, const StageDrive& drive, const StepConductances& g, double* F,
           double* S, double* J) {
  stage.stampCount += 1;
  for (int i = 0; i < 4; ++i) {
    F[i] = 1e-9 * v[i];
    S[i] = std::fabs(F[i]);
    for (int j = 0; j < 4; ++j) J[i * 4 + j] = 0.0;
    J[i * 4 + i] = 1e-9;
  }
  const auto toSource = [&](int node, double source, double conductance) {
    const double I = (v[node] - source) * conductance;
    F[node] += I;
    S[node] += std::fabs(I);
    J[node * 4 + node] += conductance;
  };
  toSource(kBaseA, drive.sourceA, g.baseA);
  toSource(kBaseB, drive.sourceB, g.baseB);
  toSource(kCollectorA, drive.gate, kCollectorLoad);
  toSource(kCollectorB, drive.gate, kCollectorLoad);

  if (drive.modeTwo) {
    const int bases[2] = {kBaseA, kBaseB};
    for (int k = 0; k < 2; ++k) {
      const int node = bases[k];
      const SeriesJunctionResult bias =
          solveSeriesJunction(drive.biasVoltage, v[node], kBiasResistor, stage.junctionVoltage[k]);
      F[node] -= bias.current;
      S[node] += std::fabs(bias.current);
      J[node * 4 + node] -= bias.conductance;
    }
  }

  stampCapacitor<kCollectorA, kBaseB>(stage, 0, v, g, F, S, J);
  stampCapacitor<kCollectorB, kBaseA>(stage, 1, v, g, F, S, J);
  stampCapacitor<kBaseA, kGround>(stage, 2, v, g, F, S, J);
  stampCapacitor<kBaseB, kGround>(stage, 3, v, g, F, S, J);
  stampCapacitor<kBaseA, kCollectorA>(stage, 4, v, g, F, S, J);
  stampCapacitor<kBaseB, kCollectorB>(stage, 5, v, g, F, S, J);

  stampOutputTransistor(v, kBaseA, kCollectorA, F, J, S);
  stampOutputTransistor(v, kBaseB, kCollectorB, F, J, S);
}

}  // namespace

bool solveLinearSystem4(const double* J, const double* rhs, double* dx) {
  double a[4][5];
#pragma GCC unroll 4
  for (int r = 0; r < 4; ++r) {
#pragma GCC unroll 4
    for (int c = 0; c < 4; ++c) a[r][c] = J[r * 4 + c];
    a[r][4] = rhs[r];
  }
  double inversePivot[4];
#pragma GCC unroll 4
  for (int c = 0; c < 4; ++c) {
    int best = c;
#pragma GCC unroll 4
    for (int r = c + 1; r < 4; ++r)
      if (std::fabs(a[r][c]) > std::fabs(a[best][c])) best = r;
    if (!(std::fabs(a[best][c]) >= 1e-300)) return false;
    if (best != c) {
#pragma GCC unroll 5
      for (int j = c; j < 5; ++j) std::swap(a[c][j], a[best][j]);
    }
    inversePivot[c] = 1.0 / a[c][c];
#pragma GCC unroll 4
    for (int r = c + 1; r < 4; ++r) {
      const double f = a[r][c] * inversePivot[c];
#pragma GCC unroll 5
      for (int j = c; j < 5; ++j) a[r][j] -= f * a[c][j];
    }
  }
#pragma GCC unroll 4
  for (int i = 3; i >= 0; --i) {
    double sum = a[i][4];
#pragma GCC unroll 4
    for (int j = i + 1; j < 4; ++j) sum -= a[i][j] * dx[j];
    dx[i] = sum * inversePivot[i];
  }
  return true;
}

bool solveOutputStage(OutputStage& stage, double step, const StageDrive& drive, const double* guess) {
  double v[4] = {guess[0], guess[1], guess[2], guess[3]};
  const StepConductances g = stepConductances(stage, step, drive);
  return dampedNewton<4>(
      4, v, stage.v, kLineSearchTries,
      [&](const double* at, NewtonEvaluation<4>& e) { stamp(stage, at, drive, g, e.F, e.S, e.J); },
      solveLinearSystem4,
      [](const double* dx) {
        return std::max({std::fabs(dx[kBaseA]), std::fabs(dx[kBaseA] - dx[kCollectorA]), std::fabs(dx[kBaseB]),
                         std::fabs(dx[kBaseB] - dx[kCollectorB])});
      });
}

void updateCapacitorHistory(OutputStage& stage, double step) {
  for (int k = 0; k < 6; ++k) {
    const CapacitorBranch& cap = kCapacitors[k];
    const double delta = capacitorDelta(stage.v, stage.vStart, cap);
    if (stage.trapezoid)
      stage.capCurrent[k] = (2.0 * cap.C / step) * delta - stage.capCurrent[k];
    else
      stage.capCurrent[k] = (cap.C / step) * delta;
  }
}

}  // namespace corva
