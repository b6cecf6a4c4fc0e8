#pragma once
// Implicit time stepping of the main circuit: damped Newton-Raphson over all node
// voltages, dense Gaussian elimination, and the per-block adaptive integration.

#include "engine/main_circuit.h"

namespace corva {

// Solves J dx = rhs for the circuit's nodeCount unknowns (J row stride 14) with partial
// pivoting; false when a pivot is smaller than 1e-300.
[[nodiscard]] bool solveLinearSystem(const Circuit& circuit, const double* J, const double* rhs, double* dx);

// One backward-Euler step of h seconds from xPrev, starting the iteration at x. On
// success x holds the new node voltages; on failure x is unchanged.
[[nodiscard]] bool newtonStep(Circuit& circuit, double h);

// Integrates the circuit over T seconds in sub-intervals of at most 0.25 ms, using at
// most evaluationCap evaluations (counted from the circuit's evaluationCount, which the
// caller zeroes at the block start). Returns the time actually completed. A sub-interval
// the cap cuts short is resumed by the next call with the step size it had reached.
double integrateCircuit(Circuit& circuit, double T, std::int32_t evaluationCap);

}  // namespace corva
