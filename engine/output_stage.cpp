#include "engine/output_stage.h"

#include <algorithm>
#include <cmath>

#include "engine/output_stage_solver.h"

namespace corva {

namespace {

constexpr int kMaxAttempts = 200000;

// Limits the step so that a base approaching conduction (0.62 V) is reached in at least
// two steps at its current slope.
double turnOnLookahead(const OutputStage& s, int base, int collector, double step) {
  const double vb = s.v[base];
  if (s.v[collector] - vb > 1.0 && vb < 0.62) {
    const double slope = (vb - s.vHist[base]) / s.lastStep;
    if (slope > 0.0) step = std::min(step, std::max((0.62 - vb) * 0.5 / slope, 1e-9));
  }
  return step;
}

bool nearSwitching(const OutputStage& s, int base, int collector) {
  const double vb = s.v[base];
  return vb > 0.45 && vb < 0.75 && s.v[collector] - vb > 1.0;
}

}  // namespace

void resetOutputStage(OutputStage& stage) {
  const std::int32_t stampCount = stage.stampCount;
  const std::uint8_t refinement = stage.refinement;
  stage = OutputStage{};
  stage.stampCount = stampCount;
  stage.refinement = refinement;
}

bool integrateOutputStage(OutputStage& s, double h, const StageDrive& drive, std::int32_t budget) {
  double t = 0.0;
  double step = h;
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    if (t >= h * 0.999999999999) return true;
    step = std::min(step, h - t);
    if (s.v[kBaseA] > 0.4 && s.v[kBaseB] > 0.4) step = std::min(step, 1.5e-6);
    if (s.lastStep > 0.0) {
      step = turnOnLookahead(s, kBaseA, kCollectorA, step);
      step = turnOnLookahead(s, kBaseB, kCollectorB, step);
    }
    const bool nearA = nearSwitching(s, kBaseA, kCollectorA);
    const bool nearB = nearSwitching(s, kBaseB, kCollectorB);
    if (s.refinement && (nearA || nearB) && s.calmTime > 0.0015 && s.calmTime < 0.15) {
      s.trapezoid = 1;
      step = std::min(step, 3e-7);
    } else {
      s.trapezoid = 0;
    }

    double guess[4];
    for (int i = 0; i < 4; ++i) {
      s.vStart[i] = s.v[i];
      const double slope = s.lastStep > 0.0 ? (s.v[i] - s.vHist[i]) / s.lastStep : 0.0;
      guess[i] = s.v[i] + std::clamp(slope * step, -0.5, 0.5);
    }

    if (!solveOutputStage(s, step, drive, guess)) {
      step /= 2.0;
      s.holdOff = 2;
      if (step < 1e-14) return false;
      if (s.stampCount >= budget) return false;
      continue;
    }

    double change = 0.0;
    for (int i = 0; i < 4; ++i) change = std::max(change, std::fabs(s.v[i] - s.vStart[i]));
    if (change <= 2.0) {
      s.calmTime += step;
    } else if (step <= 2.5e-7) {
      s.calmTime = 0.0;
    } else {
      for (int i = 0; i < 4; ++i) s.v[i] = s.vStart[i];
      step /= 2.0;
      continue;
    }

    updateCapacitorHistory(s, step);
    for (int i = 0; i < 4; ++i) s.vHist[i] = s.vStart[i];
    t += step;
    s.lastStep = step;
    s.timeDone += step;
    s.integral += (s.vStart[kCollectorB] + s.v[kCollectorB]) / 2.0 * step;
    if (s.holdOff < 1) {
      step = std::min(1.5 * step, h);
    } else {
      step = std::min(step, h);
      s.holdOff -= 1;
    }
    if (s.stampCount >= budget) return false;
  }
  return false;
}

}  // namespace corva
