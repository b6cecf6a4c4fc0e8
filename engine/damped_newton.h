#pragma once
// The damped Newton-Raphson iteration shared by both circuits' solvers: solve for the
// update, accept it when it is small or when the residual already is, otherwise limit
// the largest junction change to 0.5 V and halve along the update until the squared
// residual falls.

#include <cmath>
#include <cstring>
#include <utility>

namespace corva {

// Equations evaluated at one iterate: residual F, current scale S, Jacobian J (row
// stride N).
template <int N>
struct NewtonEvaluation {
  double F[N];
  double S[N];
  double J[N * N];
};

inline constexpr int kNewtonIterations = 40;

// The iteration's two tests over n unknowns: whether every update is small against its
// voltage (|dx| <= 1e-6 |v| + 1e-9), and whether every residual is small against its
// current scale (|F| <= 1e-3 S + 1e-12). A NaN passes neither. Four unknowns at a time,
// each lane making the scalar test's operations.
inline void newtonConvergence(int n, const double* v, const double* dx, const double* F, const double* S,
                              bool& stepSmall, bool& residualSmall) {
  using Lanes = double __attribute__((vector_size(4 * sizeof(double))));
  using Mask = long long __attribute__((vector_size(4 * sizeof(double))));
  const Mask magnitude = {0x7fffffffffffffffLL, 0x7fffffffffffffffLL, 0x7fffffffffffffffLL, 0x7fffffffffffffffLL};
  Mask large = {0, 0, 0, 0};
  Mask unbalanced = {0, 0, 0, 0};
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    Lanes vi, dxi, Fi, Si;
    std::memcpy(&vi, v + i, sizeof vi);
    std::memcpy(&dxi, dx + i, sizeof dxi);
    std::memcpy(&Fi, F + i, sizeof Fi);
    std::memcpy(&Si, S + i, sizeof Si);
    // Each value's bits with the sign bit cleared are its magnitude's.
    const Lanes absV = (Lanes)((Mask)vi & magnitude);
    const Lanes absDx = (Lanes)((Mask)dxi & magnitude);
    const Lanes absF = (Lanes)((Mask)Fi & magnitude);
    large |= ~(absDx <= 1e-6 * absV + 1e-9);
    unbalanced |= ~(absF <= 1e-3 * Si + 1e-12);
  }
  stepSmall = (large[0] | large[1] | large[2] | large[3]) == 0;
  residualSmall = (unbalanced[0] | unbalanced[1] | unbalanced[2] | unbalanced[3]) == 0;
  for (; i < n; ++i) {
    if (!(std::fabs(dx[i]) <= 1e-6 * std::fabs(v[i]) + 1e-9)) stepSmall = false;
    if (!(std::fabs(F[i]) <= 1e-3 * S[i] + 1e-12)) residualSmall = false;
  }
}

// Iterates from v over n unknowns. evaluate(v, evaluation) fills the equations;
// solve(J, rhs, dx) solves J dx = rhs and returns false when singular;
// junctionChange(dx) gives the largest junction-voltage change of an update. On success
// the solution is written to out and true is returned; on failure out is untouched.
template <int N, class Evaluate, class Solve, class JunctionChange>
[[nodiscard]] bool dampedNewton(int n, double* v, double* out, int lineSearchTries, Evaluate&& evaluate, Solve&& solve,
                                JunctionChange&& junctionChange) {
  NewtonEvaluation<N> evaluations[2];
  NewtonEvaluation<N>* cur = &evaluations[0];
  NewtonEvaluation<N>* trial = &evaluations[1];
  evaluate(v, *cur);
  for (int iteration = 0; iteration < kNewtonIterations; ++iteration) {
    double rhs[N];
    double dx[N];
    for (int i = 0; i < n; ++i) rhs[i] = -cur->F[i];
    if (!solve(cur->J, rhs, dx)) return false;
    bool stepSmall = true;
    bool residualSmall = true;
    newtonConvergence(n, v, dx, cur->F, cur->S, stepSmall, residualSmall);
    if (stepSmall) {
      for (int i = 0; i < n; ++i) out[i] = v[i] + dx[i];
      return true;
    }
    if (residualSmall) {
      std::memcpy(out, v, sizeof(double) * n);
      return true;
    }
    const double m = junctionChange(dx);
    double alpha = m > 0.5 ? 0.5 / m : 1.0;
    double r0 = 0.0;
    for (int i = 0; i < n; ++i) r0 += cur->F[i] * cur->F[i];
    bool improved = false;
    for (int attempt = 0; attempt < lineSearchTries; ++attempt) {
      double next[N];
      for (int i = 0; i < n; ++i) next[i] = v[i] + alpha * dx[i];
      evaluate(next, *trial);
      double r = 0.0;
      for (int i = 0; i < n; ++i) r += trial->F[i] * trial->F[i];
      if (r < r0) {
        std::memcpy(v, next, sizeof(double) * n);
        std::swap(cur, trial);
        improved = true;
        break;
      }
      alpha /= 2.0;
    }
    if (!improved) return false;
  }
  return false;
}

}  // namespace corva
