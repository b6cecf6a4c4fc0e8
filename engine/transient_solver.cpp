#include "engine/transient_solver.h"

#include "engine/damped_newton.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace corva {

namespace {

constexpr int kLineSearchTries = 5;
constexpr int kStride = kMaxNodes + 1;  // augmented matrix row stride

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

namespace {

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
inline bool eliminateFor(int runtimeN, double* a, double* dx) {
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

}  // namespace

bool solveLinearSystem(const Circuit& circuit, const double* J, const double* rhs, double* dx) {
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

bool newtonStep(Circuit& circuit, double h) {
  double v[kMaxNodes];
  std::memcpy(v, circuit.x, sizeof v);
  LinearStamp linear;
  stampLinear(circuit, h, linear);
  return dampedNewton<kMaxNodes>(
      circuit.nodeCount, v, circuit.x, kLineSearchTries,
      [&](const double* at, NewtonEvaluation<kMaxNodes>& e) { stampCircuit(circuit, linear, at, e.F, e.S, e.J); },
      [&](const double* J, const double* rhs, double* dx) { return solveLinearSystem(circuit, J, rhs, dx); },
      [&](const double* dx) { return largestJunctionChange(circuit, dx); });
}

double integrateCircuit(Circuit& circuit, double T, std::int32_t evaluationCap) {
  double done = 0.0;
  if (!(T > 1e-12)) return done;
  for (;;) {
    const std::int32_t c0 = circuit.evaluationCount;
    const std::int32_t allowed = evaluationCap - c0;
    if (allowed < 1) break;
    double H = std::min(0.00025, T - done);
    double h = H;
    // Resuming where the last block's cap stopped, with the step size it had reached,
    // is what lets a step that needs more evaluations than one block may spend still
    // advance over several blocks instead of being retried from scratch each time.
    if (circuit.resumeLeft > 0.0) {
      H = std::min(circuit.resumeLeft, T - done);
      h = std::min(circuit.resumeStep, H);
      circuit.resumeLeft = 0.0;
    }
    double t = 0.0;
    bool stepTooSmall = false;
    for (int attempt = 0; attempt < 400000; ++attempt) {
      if (t >= H * 0.999999999999 || circuit.evaluationCount - c0 >= allowed) break;
      const double hs = std::min(H - t, h);
      std::memcpy(circuit.xPrev, circuit.x, sizeof circuit.x);
      if (newtonStep(circuit, hs)) {
        t += hs;
        h = std::min(1.5 * hs, H);
      } else {
        h = hs / 2.0;
        if (h < 1e-14) {
          stepTooSmall = true;
          break;
        }
      }
    }
    done += t;
    if (t < H - 1e-12) {
      // A step that failed down to nothing starts afresh; one stopped by the cap goes on.
      if (!stepTooSmall) {
        circuit.resumeLeft = H - t;
        circuit.resumeStep = h;
      }
      break;
    }
    if (T - done <= 1e-12) break;
  }
  return done;
}

}  // namespace corva
