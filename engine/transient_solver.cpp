#include "engine/transient_solver.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace corva {

namespace {

constexpr int kMaxIterations = 40;
constexpr int kLineSearchTries = 5;
constexpr int kStride = kMaxNodes + 1;  // augmented matrix row stride

// Equations evaluated at one iterate.
struct Evaluation {
  double F[kMaxNodes];
  double S[kMaxNodes];
  double J[kMaxNodes * kMaxNodes];
};

double squaredNorm(const double* F, int n) {
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += F[i] * F[i];
  return sum;
}

// Largest change of any junction voltage (diodes, base-emitter, base-collector) that the
// update dx would make.
double largestJunctionChange(const Circuit& c, const double* dx) {
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

}  // namespace

bool solveLinearSystem(const Circuit& circuit, const double* J, const double* rhs, double* dx) {
  const int n = circuit.nodeCount;
  double a[kMaxNodes * kStride];
  for (int r = 0; r < n; ++r) {
    std::memcpy(a + r * kStride, J + r * kMaxNodes, sizeof(double) * n);
    a[r * kStride + n] = rhs[r];
  }
  double inversePivot[kMaxNodes];
  for (int c = 0; c < n; ++c) {
    int best = c;
    for (int r = c + 1; r < n; ++r)
      if (std::fabs(a[r * kStride + c]) > std::fabs(a[best * kStride + c])) best = r;
    if (!(std::fabs(a[best * kStride + c]) >= 1e-300)) return false;
    if (best != c)
      for (int j = c; j <= n; ++j) std::swap(a[c * kStride + j], a[best * kStride + j]);
    const double* pivotRow = a + c * kStride;
    inversePivot[c] = 1.0 / pivotRow[c];
    for (int r = c + 1; r < n; ++r) {
      double* row = a + r * kStride;
      const double f = row[c] * inversePivot[c];
      if (f != 0.0)
        for (int j = c; j <= n; ++j) row[j] -= f * pivotRow[j];
    }
  }
  for (int i = n - 1; i >= 0; --i) {
    double sum = a[i * kStride + n];
    for (int j = i + 1; j < n; ++j) sum -= a[i * kStride + j] * dx[j];
    dx[i] = sum * inversePivot[i];
  }
  return true;
}

bool newtonStep(Circuit& circuit, double h) {
  const int n = circuit.nodeCount;
  double v[kMaxNodes];
  std::memcpy(v, circuit.x, sizeof v);
  Evaluation evaluations[2];
  Evaluation* cur = &evaluations[0];
  Evaluation* trialEval = &evaluations[1];
  stampCircuit(circuit, v, h, cur->F, cur->S, cur->J);
  for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
    double rhs[kMaxNodes];
    double dx[kMaxNodes];
    for (int i = 0; i < n; ++i) rhs[i] = -cur->F[i];
    if (!solveLinearSystem(circuit, cur->J, rhs, dx)) return false;
    bool stepSmall = true;
    bool residualSmall = true;
    for (int i = 0; i < n; ++i) {
      if (!(std::fabs(dx[i]) <= 1e-6 * std::fabs(v[i]) + 1e-9)) stepSmall = false;
      if (!(std::fabs(cur->F[i]) <= 1e-3 * cur->S[i] + 1e-12)) residualSmall = false;
    }
    if (stepSmall) {
      for (int i = 0; i < n; ++i) circuit.x[i] = v[i] + dx[i];
      return true;
    }
    if (residualSmall) {
      std::memcpy(circuit.x, v, sizeof(double) * n);
      return true;
    }
    const double m = largestJunctionChange(circuit, dx);
    double alpha = m > 0.5 ? 0.5 / m : 1.0;
    const double r0 = squaredNorm(cur->F, n);
    bool improved = false;
    for (int attempt = 0; attempt < kLineSearchTries; ++attempt) {
      double trial[kMaxNodes];
      for (int i = 0; i < n; ++i) trial[i] = v[i] + alpha * dx[i];
      stampCircuit(circuit, trial, h, trialEval->F, trialEval->S, trialEval->J);
      if (squaredNorm(trialEval->F, n) < r0) {
        std::memcpy(v, trial, sizeof(double) * n);
        std::swap(cur, trialEval);
        improved = true;
        break;
      }
      alpha /= 2.0;
    }
    if (!improved) return false;
  }
  return false;
}

double integrateCircuit(Circuit& circuit, double T, std::int32_t evaluationCap) {
  double done = 0.0;
  if (!(T > 1e-12)) return done;
  for (;;) {
    const std::int32_t c0 = circuit.evaluationCount;
    const std::int32_t allowed = evaluationCap - c0;
    if (allowed < 1) break;
    const double H = std::min(0.00025, T - done);
    double h = H;
    double t = 0.0;
    for (int attempt = 0; attempt < 400000; ++attempt) {
      if (t >= H * 0.999999999999 || circuit.evaluationCount - c0 >= allowed) break;
      const double hs = std::min(H - t, h);
      std::memcpy(circuit.xPrev, circuit.x, sizeof circuit.x);
      if (newtonStep(circuit, hs)) {
        t += hs;
        h = std::min(1.5 * hs, H);
      } else {
        h = hs / 2.0;
        if (h < 1e-14) break;
      }
    }
    done += t;
    if (t < H - 1e-12 || T - done <= 1e-12) break;
  }
  return done;
}

}  // namespace corva
