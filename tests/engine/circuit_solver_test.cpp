// The main circuit's netlist and controls, its device laws, the dense linear solve (the
// instrument's elimination along its pivot pattern included) and the Newton and block
// integration failure paths.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "engine/device_laws.h"
#include "engine/main_circuit.h"
#include "engine/main_circuit_step.h"
#include "engine/transient_solver.h"

namespace corva {
namespace {

CircuitControls controlsFor(int mode, int speed, bool gateOn) {
  return CircuitControls{0.0, 0.0, mode, speed, 100500.0f, 100900.0f, gateOn, 12.2, false, false};
}

TEST(MainCircuit, BuildStartsAtRestWithRailDown) {
  Circuit c;
  c.x[3] = 5.0;
  buildCircuit(c);
  EXPECT_EQ(c.nodeCount, 13);
  EXPECT_EQ(c.resistorCount, 15);
  EXPECT_EQ(c.capacitorCount, 7);
  EXPECT_EQ(c.junctionCount, 3);
  EXPECT_EQ(c.transistorCount, 2);
  EXPECT_EQ(c.vRail, 1);
  EXPECT_EQ(c.nSquare, 3);
  EXPECT_EQ(c.nC4, 8);
  EXPECT_EQ(c.nPinA, 11);
  EXPECT_EQ(c.nPinB, 12);
  EXPECT_EQ(c.pinnedVoltage[c.vRail], 0.0);
  for (int i = 0; i < kMaxNodes; ++i) EXPECT_EQ(c.x[i], 0.0);
  for (int i : {0, 1, 11, 12}) EXPECT_TRUE(c.pinned[i]);
  EXPECT_FALSE(c.pinned[8]);
}

TEST(MainCircuit, SelectorsSetTheirResistors) {
  Circuit c;
  buildCircuit(c);
  applyCircuitControls(c, controlsFor(0, 3, true));
  // Speed OFF: Q1's base open, Q2's base resistor at 10 kOhm, the divider short opened.
  EXPECT_EQ(c.resistors[c.rSpeedQ1].G, 0.0);
  EXPECT_DOUBLE_EQ(c.resistors[c.rSpeedQ2].G, 1.0 / 10000.0);
  EXPECT_EQ(c.resistors[c.rSpeedOff].G, 1e-12);
  // Mode 0: only C4 to base B conducts.
  EXPECT_EQ(c.resistors[c.rModeC4A].G, 0.0);
  EXPECT_EQ(c.resistors[c.rModeSquareA].G, 0.0);
  EXPECT_EQ(c.resistors[c.rModeC4B].G, static_cast<double>(1.0f / 100900.0f));
  EXPECT_EQ(c.resistors[c.rModeSquareB].G, 0.0);
  EXPECT_EQ(c.pinnedVoltage[c.vRail], 12.2);

  applyCircuitControls(c, controlsFor(3, 0, false));
  EXPECT_DOUBLE_EQ(c.resistors[c.rSpeedQ1].G, 1.0 / 47000.0);
  EXPECT_EQ(c.resistors[c.rSpeedOff].G, 1.0);
  EXPECT_EQ(c.resistors[c.rModeC4A].G, static_cast<double>(1.0f / 100500.0f));
  EXPECT_EQ(c.resistors[c.rModeC4B].G, static_cast<double>(1.0f / 100900.0f));
  EXPECT_EQ(c.resistors[c.rModeSquareA].G, 0.0);
  EXPECT_EQ(c.resistors[c.rModeSquareB].G, 0.0);
  EXPECT_EQ(c.pinnedVoltage[c.vRail], 0.0);

  applyCircuitControls(c, controlsFor(2, 1, true));
  EXPECT_EQ(c.resistors[c.rModeC4A].G, 0.0);
  EXPECT_GT(c.resistors[c.rModeSquareA].G, 0.0);
  EXPECT_GT(c.resistors[c.rModeSquareB].G, 0.0);
}

TEST(MainCircuit, JunctionExponentIsContinuedByItsTangentAboveOneVolt) {
  const LimitedExp e = limitedExp(2.0);
  EXPECT_DOUBLE_EQ(e.e, (1.0 / kThermalVoltage + 1.0) * kJunctionExpLimit);
  EXPECT_EQ(e.slope, kJunctionExpLimit);
  EXPECT_TRUE(std::isfinite(limitedExp(1e6).e));
  EXPECT_DOUBLE_EQ(limitedExp(0.5).e, std::exp(0.5 / kThermalVoltage));
}

TEST(MainCircuit, PinnedNodeResidualIsItsVoltageError) {
  Circuit c;
  buildCircuit(c);
  applyCircuitControls(c, controlsFor(0, 0, true));
  double v[kMaxNodes] = {};
  v[c.vRail] = 3.0;
  v[c.nSquare] = 1.0;  // currents flow into the rail from Q1 and the button
  double F[kMaxNodes], S[kMaxNodes], J[kMaxNodes * kMaxNodes];
  const int before = c.evaluationCount;
  stampCircuit(c, v, 1e-5, F, S, J);
  EXPECT_EQ(c.evaluationCount, before + 1);
  EXPECT_DOUBLE_EQ(F[c.vRail], 3.0 - 12.2);
  EXPECT_EQ(F[0], 0.0);
  for (int j = 0; j < kMaxNodes; ++j) EXPECT_EQ(J[c.vRail * kMaxNodes + j], j == c.vRail ? 1.0 : 0.0);
}

// A three-unknown system laid out in a circuit record for the solver.
Circuit threeNodes() {
  Circuit c;
  c.nodeCount = 3;
  return c;
}

TEST(LinearSolve, PivotsOnTheLargestAndKeepsTheUpperOfEqualRows) {
  Circuit c = threeNodes();
  double J[kMaxNodes * kMaxNodes] = {};
  // Column 0 has a zero on the diagonal and equal magnitudes below it.
  const double m[3][3] = {{0, 1, 1}, {2, 0, 1}, {-2, 1, 3}};
  for (int r = 0; r < 3; ++r)
    for (int k = 0; k < 3; ++k) J[r * kMaxNodes + k] = m[r][k];
  const double rhs[3] = {5, 5, 9};  // solution (1, 2, 3)
  double dx[3];
  ASSERT_TRUE(solveLinearSystem(c, J, rhs, dx));
  EXPECT_DOUBLE_EQ(dx[0], 1.0);
  EXPECT_DOUBLE_EQ(dx[1], 2.0);
  EXPECT_DOUBLE_EQ(dx[2], 3.0);
}

TEST(LinearSolve, ZeroColumnIsSingular) {
  Circuit c = threeNodes();
  double J[kMaxNodes * kMaxNodes] = {};
  J[0 * kMaxNodes + 0] = 1.0;
  J[2 * kMaxNodes + 2] = 1.0;  // column 1 all zero
  const double rhs[3] = {1, 1, 1};
  double dx[3];
  EXPECT_FALSE(solveLinearSystem(c, J, rhs, dx));
  J[1 * kMaxNodes + 1] = 1e-301;
  EXPECT_FALSE(solveLinearSystem(c, J, rhs, dx));
}

// Whether two arrays hold the same values bit for bit, any two NaNs counting as equal (the
// compilers' instruction choices may give a NaN either sign).
bool sameValues(const double* x, const double* y, int count) {
  for (int i = 0; i < count; ++i)
    if (std::memcmp(&x[i], &y[i], sizeof x[i]) != 0 && !(std::isnan(x[i]) && std::isnan(y[i]))) return false;
  return true;
}

// The instrument's augmented matrix of a backward-Euler step from its voltages, as the
// Newton step eliminates it.
void instrumentMatrix(Circuit& c, double h, double* a) {
  double F[kMaxNodes], S[kMaxNodes], J[kMaxNodes * kMaxNodes];
  stampCircuit(c, c.x, h, F, S, J);
  for (int r = 0; r < c.nodeCount; ++r) {
    for (int k = 0; k < c.nodeCount; ++k) a[r * kStride + k] = J[r * kMaxNodes + k];
    a[r * kStride + c.nodeCount] = -F[r];
  }
}

TEST(LinearSolve, PatternedEliminationEqualsThePlainOneWhateverTheEntries) {
  // With the oscillator off, the step's pivots follow the instrument's pattern; a factor
  // that is not a number, wherever it first appears, hands the rest to plain loops.
  Circuit c;
  buildCircuit(c);
  applyCircuitControls(c, controlsFor(3, 3, true));
  for (int block = 0; block < 20; ++block) (void)integrateCircuit(c, 1e-3, 400);
  const int n = c.nodeCount;
  alignas(32) double start[kMaxNodes * kStride] = {};
  instrumentMatrix(c, 2.5e-4, start);
  int cases = 0;
  for (int entry = -1; entry < n * n; ++entry) {
    const int r = entry / n, col = entry % n;
    if (entry >= 0 && (r <= col || start[r * kStride + col] == 0.0)) continue;
    for (const double bad : {std::nan(""), HUGE_VAL}) {
      alignas(32) double plain[kMaxNodes * kStride], fast[kMaxNodes * kStride];
      std::memcpy(plain, start, sizeof plain);
      if (entry >= 0) plain[r * kStride + col] = bad;
      std::memcpy(fast, plain, sizeof fast);
      double dxPlain[kMaxNodes] = {}, dxFast[kMaxNodes] = {};
      const bool solvedPlain = eliminateFor<13, false>(n, plain, dxPlain, kInstrumentNetlist.pinned);
      const bool solvedFast = eliminateFor<13, true>(n, fast, dxFast, kInstrumentNetlist.pinned);
      ASSERT_EQ(solvedPlain, solvedFast) << r << " " << col;
      ASSERT_TRUE(sameValues(dxPlain, dxFast, kMaxNodes)) << r << " " << col;
      ASSERT_TRUE(sameValues(plain, fast, kMaxNodes * kStride)) << r << " " << col;
      ++cases;
      if (entry < 0) {
        EXPECT_TRUE(solvedFast);
        break;
      }
    }
  }
  // The unchanged matrix's first pivot is the pattern's, the unit row of the ground.
  bool firstPivotPatterned = kInstrumentPattern.pivot[0] == 0;
  for (int row = 1; row < n; ++row)
    if (!kInstrumentNetlist.pinned[row] && std::fabs(start[row * kStride]) > std::fabs(start[0]))
      firstPivotPatterned = false;
  EXPECT_TRUE(firstPivotPatterned);
  EXPECT_GT(cases, 30);
}

TEST(TransientSolver, NewtonFailureLeavesTheVoltagesUntouched) {
  // A floating node with no element at all but the 1 nS leak is solvable; make one
  // unsolvable by pinning it to a non-finite voltage.
  Circuit c;
  buildCircuit(c);
  applyCircuitControls(c, controlsFor(0, 0, true));
  c.pinnedVoltage[c.vRail] = std::nan("");
  double before[kMaxNodes];
  std::memcpy(before, c.x, sizeof before);
  std::memcpy(c.xPrev, c.x, sizeof c.x);
  EXPECT_FALSE(newtonStep(c, 1e-5));
  EXPECT_EQ(std::memcmp(before, c.x, sizeof before), 0);
}

TEST(TransientSolver, ConvergedStepTakesOneEvaluation) {
  Circuit c;
  buildCircuit(c);
  applyCircuitControls(c, controlsFor(0, 0, false));
  std::memcpy(c.xPrev, c.x, sizeof c.x);
  c.evaluationCount = 0;
  // At rest with the rail down everything is already at 0 V.
  ASSERT_TRUE(newtonStep(c, 1e-5));
  EXPECT_EQ(c.evaluationCount, 1);
}

TEST(TransientSolver, BlockIntegrationRespectsTinyTimesCapsAndFailures) {
  Circuit c;
  buildCircuit(c);
  applyCircuitControls(c, controlsFor(0, 0, true));
  c.evaluationCount = 0;
  EXPECT_EQ(integrateCircuit(c, 1e-12, 1000), 0.0);
  EXPECT_EQ(c.evaluationCount, 0);

  // At rest every step converges in one evaluation: a cap of 4 allows four 0.25 ms
  // sub-intervals of a 2 ms block and leaves the rest to carry.
  Circuit rest;
  buildCircuit(rest);
  applyCircuitControls(rest, controlsFor(0, 0, false));
  rest.evaluationCount = 0;
  EXPECT_NEAR(integrateCircuit(rest, 2e-3, 4), 1e-3, 1e-15);
  EXPECT_EQ(rest.evaluationCount, 4);

  // The rail jumps to 12.2 V: the cap stops the block after the step that reached it.
  c.evaluationCount = 0;
  EXPECT_LT(integrateCircuit(c, 1e-3, 4), 1e-3);
  EXPECT_LE(c.evaluationCount, 4 + 40 * 6);

  // A step that can never succeed halves below 1e-14 s and ends the integration.
  Circuit bad;
  buildCircuit(bad);
  applyCircuitControls(bad, controlsFor(0, 0, true));
  bad.pinnedVoltage[bad.vRail] = std::nan("");
  bad.evaluationCount = 0;
  EXPECT_EQ(integrateCircuit(bad, 1e-3, 1 << 30), 0.0);
  EXPECT_GT(bad.evaluationCount, 30);
  EXPECT_LT(bad.evaluationCount, 100000);
}

TEST(TransientSolver, InstrumentNetlistStepsEqualTheGeneralOnes) {
  // The instrument's netlist is solved by code unrolled over it; a record with one more
  // element, an open resistor that adds exact zeros, takes the general code. Both must
  // take the same steps to the same voltages while the rail charges the circuit.
  // With the oscillator off (speed 3), most of its eliminations follow its pivot pattern.
  for (const int speed : {1, 3}) {
    Circuit fixed;
    buildCircuit(fixed);
    applyCircuitControls(fixed, controlsFor(speed == 3 ? 3 : 2, speed, true));
    Circuit general = fixed;
    general.resistors[general.resistorCount++] = {general.nC4, general.nDivider, 0.0};
    for (int block = 0; block < 50; ++block) {
      fixed.evaluationCount = general.evaluationCount = 0;
      ASSERT_EQ(integrateCircuit(fixed, 1e-3, 400), integrateCircuit(general, 1e-3, 400)) << "block " << block;
      ASSERT_EQ(fixed.evaluationCount, general.evaluationCount) << "block " << block;
      ASSERT_EQ(std::memcmp(fixed.x, general.x, sizeof fixed.x), 0) << "block " << block;
    }
    if (speed == 1) {
      EXPECT_GT(fixed.x[fixed.nC4], 0.5);
    }
  }
}

TEST(TransientSolver, GatedRailChargesTheCircuitAndStaysFinite) {
  Circuit c;
  buildCircuit(c);
  applyCircuitControls(c, controlsFor(0, 0, true));
  for (int block = 0; block < 200; ++block) {
    c.evaluationCount = 0;
    const double done = integrateCircuit(c, 1e-3, 100000);
    EXPECT_NEAR(done, 1e-3, 1e-12);
  }
  EXPECT_NEAR(c.x[c.vRail], 12.2, 1e-9);
  for (int i = 0; i < c.nodeCount; ++i) EXPECT_TRUE(std::isfinite(c.x[i]));
  EXPECT_GT(c.x[c.nC4], 0.5);  // the capacitor charges through the diodes
}

}  // namespace
}  // namespace corva
