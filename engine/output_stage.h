#pragma once
// The tone oscillator: an NPN astable multivibrator whose second collector is the sound,
// integrated once per oversampled sample with its own adaptive sub-steps.

#include <cstdint>
#include <limits>

namespace corva {

struct OutputStage {
  std::int32_t stampCount = 0;  // evaluations during the current oversampled sample
  double v[4] = {};             // base A, collector A, base B, collector B (volts)
  double vStart[4] = {};        // v at the start of the sub-step being solved
  double vHist[4] = {};         // v at the start of the last accepted sub-step
  double lastStep = 0.0;
  std::int32_t holdOff = 0;
  double calmTime = 1.0;
  std::uint8_t refinement = 0;
  double integral = 0.0;
  double timeDone = 0.0;
  double timeSimulated = 0.0;
  float average = 0.0f;
  double junctionVoltage[2] = {};
  double capCurrent[6] = {};  // Cc1, Cc2, Cbe1, Cbe2, Cbc1, Cbc2
  std::uint8_t trapezoid = 0;
  // Step size reached when the budget stopped the last interval short (0 = none): the
  // next interval starts from it rather than from the whole interval.
  double resumeStep = 0.0;
  // The vector solver's constants for the drive's base resistors and the sub-step length
  // it last prepared, and their key: that length (negated for a trapezoidal sub-step;
  // 0 = none) and the resistors (none at first).
  double stepConstantsKey[3] = {0.0, std::numeric_limits<double>::quiet_NaN(),
                                std::numeric_limits<double>::quiet_NaN()};
  alignas(32) double stepConstants[44] = {};
};

// Filled once per block by the engine.
struct OutputStageInputs {
  float rA = 0.0f;
  float rB = 0.0f;
  float gate = 0.0f;
  std::uint8_t modePair[2] = {};
  float volumeCoeff = 0.0f;
  float dcCoeff = 0.0f;
  float targetVolume = 0.0f;
  std::uint8_t modeTwo = 0;
  float biasVoltage = 0.0f;
};

// What drives the stage during one interval: its base resistors, the voltages behind
// them, the mode-2 bias and the gated supply of the collector loads.
struct StageDrive {
  double rA;
  double sourceA;
  double rB;
  double sourceB;
  double biasVoltage;
  bool modeTwo;
  double gate;
};

// Tone selector position -> base resistors (ohms).
inline constexpr float kToneResistorA[4] = {467500.0f, 218800.0f, 100500.0f, 68000.0f};
inline constexpr float kToneResistorB[4] = {465500.0f, 219800.0f, 100900.0f, 68000.0f};

// Unknown indices.
inline constexpr int kBaseA = 0;
inline constexpr int kCollectorA = 1;
inline constexpr int kBaseB = 2;
inline constexpr int kCollectorB = 3;

void resetOutputStage(OutputStage& stage);

// Integrates one interval of h seconds, spending at most `budget` evaluations.
// True when the whole interval was simulated.
[[nodiscard]] bool integrateOutputStage(OutputStage& stage, double h, const StageDrive& drive, std::int32_t budget);

}  // namespace corva
