#include "engine/output_stage.h"

// The adaptive integration (integrateOutputStage) lives with the solver in
// output_stage_solver.cpp, so that each sub-step's Newton solve is inlined into it.

namespace corva {

void resetOutputStage(OutputStage& stage) {
  const std::int32_t stampCount = stage.stampCount;
  const std::uint8_t refinement = stage.refinement;
  stage = OutputStage{};
  stage.stampCount = stampCount;
  stage.refinement = refinement;
}

}  // namespace corva
