// The output stage: its reset on bad inputs, the bias-path junction solve, Newton
// damping, the capacitor integration rules and the time-averaged output.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <random>
#include <set>
#include <utility>

#include "engine/circuit_engine.h"
#include "engine/output_stage_solver.h"

namespace corva {
namespace {

StageDrive driveFor(double gate, bool modeTwo = false) {
  return StageDrive{100500.0, gate, 100900.0, gate, modeTwo ? gate : 0.0, modeTwo, gate};
}

CircuitEngine preparedEngine() {
  CircuitEngine engine;
  EXPECT_TRUE(prepareEngine(engine, 48000.0));
  engine.oversampledPeriod = engine.samplePeriod / 4.0f;
  engine.budgetLeft = 1000000;
  return engine;
}

OutputStageInputs inputsFor(float rA, float gate) {
  OutputStageInputs in;
  in.rA = rA;
  in.rB = 100900.0f;
  in.gate = gate;
  in.modePair[0] = 2;
  in.modePair[1] = 2;
  in.volumeCoeff = 1.0f;
  in.dcCoeff = 1.0f;
  in.targetVolume = 1.0f;
  return in;
}

TEST(OutputStage, BadInputsResetTheStageAndGiveSilence) {
  CircuitEngine engine = preparedEngine();
  for (int i = 0; i < 200; ++i) renderOutputStage(engine, inputsFor(100500.0f, 12.2f));
  ASSERT_NE(engine.outputStage.v[kCollectorB], 0.0);
  const int budget = engine.budgetLeft;
  renderOutputStage(engine, inputsFor(0.0f, 12.2f));
  EXPECT_EQ(engine.outputStage.average, 0.0f);
  EXPECT_EQ(engine.outputStage.v[kCollectorB], 0.0);
  EXPECT_EQ(engine.outputStage.calmTime, 1.0);
  EXPECT_EQ(engine.budgetLeft, budget);  // a reset costs nothing

  for (int i = 0; i < 50; ++i) renderOutputStage(engine, inputsFor(100500.0f, 12.2f));
  const float y = renderOutputStage(engine, inputsFor(100500.0f, std::nanf("")));
  EXPECT_EQ(engine.outputStage.average, 0.0f);
  EXPECT_TRUE(std::isfinite(y));
}

TEST(OutputStage, SilentStageCostsFewEvaluations) {
  CircuitEngine engine = preparedEngine();
  for (int i = 0; i < 100; ++i) EXPECT_EQ(renderOutputStage(engine, inputsFor(100500.0f, 0.0f)), 0.0f);
  EXPECT_LE(engine.outputStage.stampCount, 3);
}

TEST(OutputStage, OutputIsTheTimeAverageOfCollectorB) {
  CircuitEngine engine = preparedEngine();
  // Power up: collector B rises towards the gate within the first interval.
  renderOutputStage(engine, inputsFor(100500.0f, 12.2f));
  const OutputStage& s = engine.outputStage;
  EXPECT_NEAR(s.timeDone, engine.oversampledPeriod, 1e-15);
  EXPECT_FLOAT_EQ(s.average, static_cast<float>(s.integral / engine.oversampledPeriod));
  EXPECT_NE(s.average, static_cast<float>(s.v[kCollectorB]));
}

TEST(OutputStage, BudgetExhaustionHoldsTheOutputAndCountsTheDeficit) {
  CircuitEngine engine = preparedEngine();
  for (int i = 0; i < 100; ++i) renderOutputStage(engine, inputsFor(100500.0f, 12.2f));
  const float held = engine.outputStage.average;
  engine.budgetLeft = 0;
  engine.rampStep[0] = 0.5f;
  engine.rampValue[0] = 1.0f;
  const double deficit = engine.outputDeficit;
  renderOutputStage(engine, inputsFor(100500.0f, 12.2f));
  EXPECT_EQ(engine.outputStage.average, held);
  EXPECT_NEAR(engine.outputDeficit - deficit, engine.oversampledPeriod, 1e-12);
  EXPECT_FLOAT_EQ(engine.rampValue[0], 1.0f);  // the ramp did not advance
}

TEST(SeriesJunction, StartsFromTheDriveOrTheRememberedVoltage) {
  double remembered = 0.0;
  // Small drive: the junction barely conducts; the solve starts at the drive itself.
  SeriesJunctionResult r = solveSeriesJunction(0.3, 0.0, 220000.0, remembered);
  EXPECT_NEAR(remembered, 0.3, 1e-3);
  EXPECT_GT(r.current, 0.0);
  EXPECT_LT(r.conductance, 0.0);

  // Large drive: the junction clamps near 0.5 V and the resistor takes the rest.
  remembered = 0.0;
  r = solveSeriesJunction(12.2, 0.0, 220000.0, remembered);
  EXPECT_GT(remembered, 0.4);
  EXPECT_LT(remembered, 0.7);
  EXPECT_NEAR(r.current, (12.2 - remembered) / 220000.0, 1e-9);
  const double solved = remembered;
  // Starting from the remembered voltage converges to the same answer.
  r = solveSeriesJunction(12.2, 0.0, 220000.0, remembered);
  EXPECT_NEAR(remembered, solved, 1e-6);
}

TEST(OutputStageEquations, BiasPathsOnlyInModeTwo) {
  OutputStage s;
  const double v[4] = {0.2, 5.0, 0.3, 6.0};
  double F[4], S[4], J[16], F2[4], S2[4], J2[16];
  stampOutputStage(s, v, 1e-6, driveFor(12.2, false), F, S, J);
  EXPECT_EQ(s.junctionVoltage[0], 0.0);
  EXPECT_EQ(s.junctionVoltage[1], 0.0);
  EXPECT_EQ(s.stampCount, 1);
  stampOutputStage(s, v, 1e-6, driveFor(12.2, true), F2, S2, J2);
  EXPECT_GT(s.junctionVoltage[0], 0.0);
  EXPECT_LT(F2[kBaseA], F[kBaseA]);  // current injected into base A
  EXPECT_GT(J2[kBaseA * 4 + kBaseA], J[kBaseA * 4 + kBaseA]);
  EXPECT_EQ(F2[kCollectorA], F[kCollectorA]);
}

TEST(OutputStageEquations, CapacitorRuleFollowsTheSubStep) {
  OutputStage s;
  const double v[4] = {0.0, 0.0, 0.0, 0.0};
  const StageDrive off = driveFor(0.0);
  double F[4], S[4], J[16];
  // Base A's own conductances: base resistor, leak, Cc2, Cbe1, Cbc1, and the transistor.
  stampOutputStage(s, v, 1e-6, off, F, S, J);
  const double backward = J[kBaseA * 4 + kBaseA];
  s.trapezoid = 1;
  s.capCurrent[2] = 1e-6;  // Cbe1's history current
  stampOutputStage(s, v, 1e-6, off, F, S, J);
  const double capacitance = static_cast<double>(10.32e-9f) + static_cast<double>(4.5e-12f) +
                             static_cast<double>(4e-12f);
  EXPECT_NEAR(J[kBaseA * 4 + kBaseA] - backward, capacitance / 1e-6, 1e-9);
  EXPECT_NEAR(F[kBaseA], -1e-6, 3e-12);  // the history current is subtracted
}

// Plain Gaussian elimination with row exchanges, in the arithmetic the solver uses.
// Records the pivot row chosen for each column.
bool plainSolve4(const double* J, const double* rhs, double* dx, int* pivots) {
  double a[4][5];
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) a[r][c] = J[r * 4 + c];
    a[r][4] = rhs[r];
  }
  double inverse[4];
  for (int c = 0; c < 4; ++c) {
    int best = c;
    for (int r = c + 1; r < 4; ++r)
      if (std::fabs(a[r][c]) > std::fabs(a[best][c])) best = r;
    pivots[c] = best;
    if (!(std::fabs(a[best][c]) >= 1e-300)) return false;
    for (int j = c; j < 5; ++j) std::swap(a[c][j], a[best][j]);
    inverse[c] = 1.0 / a[c][c];
    for (int r = c + 1; r < 4; ++r) {
      const double f = a[r][c] * inverse[c];
      for (int j = c; j < 5; ++j) a[r][j] -= f * a[c][j];
    }
  }
  for (int i = 3; i >= 0; --i) {
    double sum = a[i][4];
    for (int j = i + 1; j < 4; ++j) sum -= a[i][j] * dx[j];
    dx[i] = sum * inverse[i];
  }
  return true;
}

TEST(OutputStageSolver, FourByFourSolveMatchesPlainEliminationBitForBit) {
  // Random systems reach every order of pivot rows; small integers make equal pivot
  // candidates common, where the upper row must win.
  std::mt19937_64 random(12345);
  std::uniform_real_distribution<double> real(-1.0, 1.0);
  std::uniform_int_distribution<int> small(-2, 2);
  std::set<int> ordersSeen;
  for (int trial = 0; trial < 20000; ++trial) {
    double J[16], rhs[4];
    for (double& x : J) x = trial % 2 ? real(random) : small(random);
    for (double& x : rhs) x = real(random);
    double fast[4] = {}, plain[4] = {};
    int pivots[4] = {};
    const bool plainSolved = plainSolve4(J, rhs, plain, pivots);
    ASSERT_EQ(solveLinearSystem4(J, rhs, fast), plainSolved) << "trial " << trial;
    if (!plainSolved) continue;
    ordersSeen.insert(pivots[0] * 16 + pivots[1] * 4 + pivots[2]);
    for (int i = 0; i < 4; ++i)
      ASSERT_EQ(std::bit_cast<std::uint64_t>(fast[i]), std::bit_cast<std::uint64_t>(plain[i]))
          << "trial " << trial << " unknown " << i;
  }
  EXPECT_EQ(ordersSeen.size(), 24u);  // 4 x 3 x 2 choices of pivot row
}

TEST(OutputStageSolver, LargeSwingsConvergeThroughDampedSteps) {
  // Powering up from 0 V: the undamped first update would throw both bases several volts
  // forward; damped to 0.5 V per iteration the solve settles at the conducting bases.
  OutputStage s;
  const double zero[4] = {0.0, 0.0, 0.0, 0.0};
  ASSERT_TRUE(solveOutputStage(s, 1e-5, driveFor(12.2), zero));
  EXPECT_NEAR(s.v[kBaseA], 0.68, 0.02);
  EXPECT_NEAR(s.v[kBaseB], 0.68, 0.02);
  EXPECT_GE(s.stampCount, 3);
}

TEST(OutputStageSolver, FailedSolveLeavesTheStageAlone) {
  OutputStage s;
  s.v[0] = 0.25;
  StageDrive drive = driveFor(12.2);
  drive.sourceA = std::nan("");
  const double guess[4] = {0.0, 0.0, 0.0, 0.0};
  EXPECT_FALSE(solveOutputStage(s, 1e-6, drive, guess));
  EXPECT_EQ(s.v[0], 0.25);
}

// Integrates one interval of the drive on the vector path and on the scalar path, one
// stage each, and tells whether both give the same states bit for bit.
::testing::AssertionResult sameOnBothPaths(OutputStage& vector, OutputStage& scalar, const StageDrive& drive) {
  useOutputStageVectorPath(true);
  const bool vectorDone = integrateOutputStage(vector, 5.2e-6, drive, 1000000);
  useOutputStageVectorPath(false);
  const bool scalarDone = integrateOutputStage(scalar, 5.2e-6, drive, 1000000);
  useOutputStageVectorPath(true);
  const auto same = [](double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
  };
  if (vectorDone != scalarDone) return ::testing::AssertionFailure() << "done " << vectorDone << " vs " << scalarDone;
  for (int i = 0; i < 4; ++i)
    if (!same(vector.v[i], scalar.v[i]))
      return ::testing::AssertionFailure() << "unknown " << i << ": " << vector.v[i] << " vs " << scalar.v[i];
  for (int i = 0; i < 2; ++i)
    if (!same(vector.junctionVoltage[i], scalar.junctionVoltage[i]))
      return ::testing::AssertionFailure()
             << "junction " << i << ": " << vector.junctionVoltage[i] << " vs " << scalar.junctionVoltage[i];
  if (vector.stampCount != scalar.stampCount)
    return ::testing::AssertionFailure() << "evaluations " << vector.stampCount << " vs " << scalar.stampCount;
  return ::testing::AssertionSuccess();
}

TEST(OutputStageSolver, VectorPathFollowsChangingResistorsBitForBit) {
  if (!outputStageVectorPathAvailable()) GTEST_SKIP() << "no AVX2";
  // The vector path keeps constants from one interval to the next; a change of the base
  // resistors between intervals, or a return to earlier ones, must give the scalar path's
  // states exactly, in either mode.
  for (const bool modeTwo : {false, true}) {
    OutputStage vector, scalar;
    vector.refinement = scalar.refinement = 1;
    for (int interval = 0; interval < 600; ++interval) {
      StageDrive drive = driveFor(12.2, modeTwo);
      drive.rA = interval % 7 < 3 ? 100500.0 : 218800.0;
      ASSERT_TRUE(sameOnBothPaths(vector, scalar, drive)) << "mode two " << modeTwo << " interval " << interval;
    }
  }
}

TEST(OutputStageSolver, VectorPathFollowsSwingingBiasDrivesBitForBit) {
  if (!outputStageVectorPathAvailable()) GTEST_SKIP() << "no AVX2";
  // Mode 2's bias paths solved side by side take the scalar solve's values however their
  // drives swing: junctions held off, conducting, starting cold after a fall of the
  // drive, driven so far negative that their exponential leaves the fast range, or
  // stepping up from a low conducting level by more than the step limit.
  const double bias[] = {12.2, 12.2, 0.2, -30.0, 12.2, 0.5, 3.0, 0.31, 40.0, -0.5, 12.2, 0.29, 1.0, 4.0};
  OutputStage vector, scalar;
  vector.refinement = scalar.refinement = 1;
  for (int interval = 0; interval < 480; ++interval) {
    StageDrive drive = driveFor(12.2, true);
    drive.biasVoltage = bias[interval / 8 % std::size(bias)];
    ASSERT_TRUE(sameOnBothPaths(vector, scalar, drive)) << "interval " << interval;
  }
}

}  // namespace
}  // namespace corva
