#include "engine/transient_solver.h"

#include "engine/main_circuit_step.h"
#include "engine/output_stage_solver.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace corva {

bool solveLinearSystem(const Circuit& circuit, const double* J, const double* rhs, double* dx) {
  return solveCircuitSystem(circuit, J, rhs, dx);
}

namespace {

bool stepOnce(Circuit& circuit, double h, bool instrumentNetlist) {
#ifdef CORVA_VECTOR_PATHS
  if (vectorPathsOn()) return newtonStepAvx2(circuit, h, instrumentNetlist);
#endif
  return newtonStepWith(circuit, h, instrumentNetlist, scalarJunctionExps);
}

}  // namespace

bool newtonStep(Circuit& circuit, double h) { return stepOnce(circuit, h, hasInstrumentNetlist(circuit)); }

double integrateCircuit(Circuit& circuit, double T, std::int32_t evaluationCap) {
  double done = 0.0;
  if (!(T > 1e-12)) return done;
  const bool instrumentNetlist = hasInstrumentNetlist(circuit);
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
      if (stepOnce(circuit, hs, instrumentNetlist)) {
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
