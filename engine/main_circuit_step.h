#pragma once
// The main circuit's equations, linear solve and Newton step, shared by its baseline
// solver and its vector path: each includes this header and supplies its own junction
// exponentials, so that both compute every value in the same order.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/damped_newton.h"
#include "engine/device_laws.h"
#include "engine/main_circuit.h"

namespace corva {

// The main circuit's Newton step (see newtonStep) in AVX2 vectors, with results equal to
// the baseline code's bit for bit; only for CPUs that have AVX2.
bool newtonStepAvx2(Circuit& circuit, double h);

namespace {

constexpr int kLineSearchTries = 5;
constexpr int kStride = kMaxNodes + 1;  // augmented matrix row stride

// Adds a current I flowing from a to b to the residuals and the current scales.
inline void stampCurrent(double* F, double* S, std::int32_t a, std::int32_t b, double I) {
  F[a] += I;
  F[b] -= I;
  S[a] += std::fabs(I);
  S[b] += std::fabs(I);
}

// Adds a conductance g between a and b to the Jacobian.
inline void stampConductance(double* J, std::int32_t a, std::int32_t b, double g) {
  J[a * kMaxNodes + a] += g;
  J[a * kMaxNodes + b] -= g;
  J[b * kMaxNodes + b] += g;
  J[b * kMaxNodes + a] -= g;
}

// The limited junction exponential of each of count arguments, one by one.
inline void scalarJunctionExps(const double* argument, int count, LimitedExp* out) {
  for (int i = 0; i < count; ++i) out[i] = limitedExp(argument[i]);
}

// The Jacobian's entries are sums in element order: the linear elements first, then the
// junctions and transistors. Starting from the step's linear sums therefore gives the
// same values as stamping every element afresh.
// exps(arguments, count, out) gives the limited junction exponential of each argument.
template <class JunctionExps>
inline void stampEquations(Circuit& c, const LinearStamp& linear, const double* v, double* F, double* S, double* J,
                           JunctionExps&& exps) {
  c.evaluationCount += 1;
  const int n = c.nodeCount;
  std::memcpy(J, linear.J, sizeof(double) * kMaxNodes * n);
  for (int i = 0; i < n; ++i) {
    F[i] = 1e-9 * v[i];
    S[i] = std::fabs(F[i]);
  }
  for (int k = 0; k < c.resistorCount; ++k) {
    const Resistor& r = c.resistors[k];
    stampCurrent(F, S, r.a, r.b, (v[r.a] - v[r.b]) * r.G);
  }
  for (int k = 0; k < c.currentSourceCount; ++k) {
    const CurrentSource& s = c.currentSources[k];
    F[s.node] += s.current;
    S[s.node] += std::fabs(s.current);
  }
  for (int k = 0; k < c.capacitorCount; ++k) {
    const Capacitor& cap = c.capacitors[k];
    const double I = ((v[cap.a] - v[cap.b]) - linear.capacitorStart[k]) * linear.capacitorG[k];
    stampCurrent(F, S, cap.a, cap.b, I);
  }
  // The junctions' and transistors' exponentials, all at once: each junction's, then
  // each transistor's forward and reverse one.
  double argument[kMaxJunctions + 2 * kMaxTransistors];
  LimitedExp junctionExp[kMaxJunctions + 2 * kMaxTransistors];
  int count = 0;
  for (int k = 0; k < c.junctionCount; ++k) argument[count++] = v[c.junctions[k].anode] - v[c.junctions[k].cathode];
  for (int k = 0; k < c.transistorCount; ++k) {
    const Transistor& q = c.transistors[k];
    argument[count++] = q.polarity * (v[q.base] - v[q.emitter]);
    argument[count++] = q.polarity * (v[q.base] - v[q.collector]);
  }
  exps(argument, count, junctionExp);
  for (int k = 0; k < c.junctionCount; ++k) {
    const Junction& d = c.junctions[k];
    const LimitedExp e = junctionExp[k];
    stampCurrent(F, S, d.anode, d.cathode, d.Is * (e.e - 1.0));
    stampConductance(J, d.anode, d.cathode, d.Is * e.slope * kInverseThermalVoltage);
  }
  for (int k = 0; k < c.transistorCount; ++k) {
    const Transistor& q = c.transistors[k];
    const int b = q.base, col = q.collector, em = q.emitter;
    const double p = q.polarity;
    const LimitedExp f = junctionExp[c.junctionCount + 2 * k];
    const LimitedExp r = junctionExp[c.junctionCount + 2 * k + 1];
    const double isF = q.Is / q.betaF, isR = q.Is / q.betaR;
    const double Ibe = isF * (f.e - 1.0);
    const double Ibc = isR * (r.e - 1.0);
    const double Ict = q.Is * (f.e - r.e);
    F[b] += p * (Ibe + Ibc);
    F[col] += p * (Ict - Ibc);
    F[em] -= p * (Ict + Ibe);
    S[b] += std::fabs(Ibe + Ibc);
    S[col] += std::fabs(Ict - Ibc);
    S[em] += std::fabs(Ict + Ibe);
    const double gPi = isF * f.slope * kInverseThermalVoltage;
    const double gMu = isR * r.slope * kInverseThermalVoltage;
    const double gF = q.Is * f.slope * kInverseThermalVoltage;
    const double gR = q.Is * r.slope * kInverseThermalVoltage;
    double* Jb = J + b * kMaxNodes;
    double* Jc = J + col * kMaxNodes;
    double* Je = J + em * kMaxNodes;
    Jb[b] += gPi + gMu;
    Jb[em] -= gPi;
    Jb[col] -= gMu;
    Jc[b] += gF - gR - gMu;
    Jc[em] -= gF;
    Jc[col] += gR + gMu;
    Je[b] += gR - gF - gPi;
    Je[em] += gF + gPi;
    Je[col] -= gR;
    if (q.breakdownVoltage > 0.0) {
      const LimitedExp d = limitedExp(-p * (v[b] - v[em]) - q.breakdownVoltage);
      const double I = q.breakdownIs * (d.e - 1.0);
      const double g = q.breakdownIs * d.slope * kInverseThermalVoltage;
      F[b] -= p * I;
      F[em] += p * I;
      S[b] += std::fabs(I);
      S[em] += std::fabs(I);
      Jb[b] += g;
      Jb[em] -= g;
      Je[b] -= g;
      Je[em] += g;
    }
  }
  for (int i = 0; i < n; ++i) {
    if (!c.pinned[i]) continue;
    F[i] = v[i] - c.pinnedVoltage[i];
    std::memset(J + i * kMaxNodes, 0, sizeof(double) * kMaxNodes);
    J[i * kMaxNodes + i] = 1.0;
  }
}

// Largest change of any junction voltage (diodes, base-emitter, base-collector) that the
// update dx would make.
inline double largestJunctionChange(const Circuit& c, const double* dx) {
  double m = 0.0;
  for (int k = 0; k < c.junctionCount; ++k)
    m = std::max(m, std::fabs(dx[c.junctions[k].anode] - dx[c.junctions[k].cathode]));
  for (int k = 0; k < c.transistorCount; ++k) {
    const Transistor& q = c.transistors[k];
    m = std::max(m, std::fabs(dx[q.base] - dx[q.emitter]));
    m = std::max(m, std::fabs(dx[q.base] - dx[q.collector]));
  }
  return m;
}

// Gaussian elimination with partial pivoting on the augmented n x (n + 1) matrix `a`
// (row stride kStride), in place. With FixedN > 0 the loops have a compile-time length
// and are unrolled.
// Clang reports the runtime-length instantiation's loops as not unrolled; that one is
// meant to stay a plain loop.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wpass-failed"
#endif
template <int FixedN>
[[nodiscard]] inline bool eliminateFor(int runtimeN, double* a, double* dx) {
  const int n = FixedN > 0 ? FixedN : runtimeN;
  double inversePivot[kMaxNodes];
#pragma GCC unroll 14
  for (int c = 0; c < n; ++c) {
    // The first of equal candidates wins: a later row must be strictly larger.
    int best = c;
    double largest = std::fabs(a[c * kStride + c]);
#pragma GCC unroll 14
    for (int r = c + 1; r < n; ++r) {
      const double magnitude = std::fabs(a[r * kStride + c]);
      if (magnitude > largest) {
        largest = magnitude;
        best = r;
      }
    }
    if (!(largest >= 1e-300)) return false;
    if (best != c)
      for (int j = c; j <= n; ++j) std::swap(a[c * kStride + j], a[best * kStride + j]);
    const double* pivotRow = a + c * kStride;
    inversePivot[c] = 1.0 / pivotRow[c];
#pragma GCC unroll 14
    for (int r = c + 1; r < n; ++r) {
      double* row = a + r * kStride;
      const double f = row[c] * inversePivot[c];
      // Column c below the pivot is never read again, so it is left as it is.
      if (f != 0.0)
#pragma GCC unroll 14
        for (int j = c + 1; j <= n; ++j) row[j] -= f * pivotRow[j];
    }
  }
#pragma GCC unroll 14
  for (int i = n - 1; i >= 0; --i) {
    double sum = a[i * kStride + n];
#pragma GCC unroll 14
    for (int j = i + 1; j < n; ++j) sum -= a[i * kStride + j] * dx[j];
    dx[i] = sum * inversePivot[i];
  }
  return true;
}
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

[[nodiscard]] inline bool solveCircuitSystem(const Circuit& circuit, const double* J, const double* rhs, double* dx) {
  const int n = circuit.nodeCount;
  double a[kMaxNodes * kStride];
  if (n == 13) {
    // The instrument's netlist: copies of a fixed length, which the compiler inlines.
    for (int r = 0; r < 13; ++r) {
      std::memcpy(a + r * kStride, J + r * kMaxNodes, sizeof(double) * 13);
      a[r * kStride + 13] = rhs[r];
    }
    return eliminateFor<13>(n, a, dx);
  }
  for (int r = 0; r < n; ++r) {
    std::memcpy(a + r * kStride, J + r * kMaxNodes, sizeof(double) * n);
    a[r * kStride + n] = rhs[r];
  }
  return eliminateFor<0>(n, a, dx);
}

// One backward-Euler step (see newtonStep) with the junction exponentials from exps.
template <class JunctionExps>
[[nodiscard]] inline bool newtonStepWith(Circuit& circuit, double h, JunctionExps&& exps) {
  double v[kMaxNodes];
  std::memcpy(v, circuit.x, sizeof v);
  LinearStamp linear;
  stampLinear(circuit, h, linear);
  return dampedNewton<kMaxNodes>(
      circuit.nodeCount, v, circuit.x, kLineSearchTries,
      [&](const double* at, NewtonEvaluation<kMaxNodes>& e) {
        stampEquations(circuit, linear, at, e.F, e.S, e.J, exps);
      },
      [&](const double* J, const double* rhs, double* dx) { return solveCircuitSystem(circuit, J, rhs, dx); },
      [&](const double* dx) { return largestJunctionChange(circuit, dx); });
}

}  // namespace
}  // namespace corva
