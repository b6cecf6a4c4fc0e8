#pragma once
// Equations of the output stage for one sub-step and their damped Newton solution.

#include "engine/output_stage.h"

namespace corva {

// Solves one sub-step of `step` seconds from vStart, starting at guess. On success the
// solution is in stage.v; on failure stage.v is unchanged.
[[nodiscard]] bool solveOutputStage(OutputStage& stage, double step, const StageDrive& drive, const double* guess);

// Residual F, current scale S and Jacobian J (4 x 4, row stride 4) at v.
void stampOutputStage(OutputStage& stage, const double* v, double step, const StageDrive& drive, double* F, double* S,
                      double* J);

// Adds one grounded-emitter NPN transistor with base-emitter breakdown.
void stampOutputTransistor(const double* v, int base, int collector, double* F, double* J, double* S);

struct SeriesJunctionResult {
  double current;      // through the junction, from source to node
  double conductance;  // d current / d node voltage
};

// A junction (Is 1e-14 A) in series with R, driven by sourceVoltage - nodeVoltage; the
// inner junction voltage is remembered between calls to start the next solve near it.
SeriesJunctionResult solveSeriesJunction(double sourceVoltage, double nodeVoltage, double R, double& junctionVoltage);

// Companion-model history currents after an accepted sub-step.
void updateCapacitorHistory(OutputStage& stage, double step);

// The output stage's integration in AVX2 vectors, with results equal to the baseline
// code's bit for bit; only for CPUs that have AVX2 (see outputStageVectorPath).
bool integrateOutputStageAvx2(OutputStage& stage, double h, const StageDrive& drive, std::int32_t budget);
// One interval on the steady path, for a drive whose base resistors the stage's vector
// constants were last kept for by keepOutputStageResistorsAvx2 (a block's drive, whose
// resistors hold through it), which spares each interval the test; a reset stage needs
// them kept again. The stage's evaluation count, integral and time done are zeroed
// first; then, with finite voltages, the interval is integrated and its integral and
// time done returned in registers as well as kept in the stage. Any other voltage leaves
// the rest of the stage as it is and returns a time done of -1.
void keepOutputStageResistorsAvx2(OutputStage& stage, double rA, double rB);
struct SteadyInterval {
  double integral;
  double timeDone;
};
SteadyInterval integrateOutputStageSteadyAvx2(OutputStage& stage, double h, const StageDrive& drive,
                                              std::int32_t budget);

// Whether this build and CPU have the vector paths, and whether integrateOutputStage and
// the main circuit's Newton step use them. They do by default where they exist; turning
// them off runs the baseline code, which gives the same results (for comparing the two).
bool outputStageVectorPathAvailable();
void useOutputStageVectorPath(bool on);
bool vectorPathsOn();

// 4 x 4 Gaussian elimination with partial pivoting; false when a pivot is below 1e-300.
bool solveLinearSystem4(const double* J, const double* rhs, double* dx);

}  // namespace corva
