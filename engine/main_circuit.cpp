#include "engine/main_circuit.h"

#include <cmath>
#include <cstring>

#include "engine/device_laws.h"
#include "engine/main_circuit_step.h"

namespace corva {

namespace {

// Conductance of an open switch or an unselected mode path.
constexpr double kOpen = 1e-12;

std::int32_t addNode(Circuit& c) { return c.nodeCount++; }

std::int32_t addResistor(Circuit& c, std::int32_t a, std::int32_t b, double G) {
  c.resistors[c.resistorCount] = {a, b, G};
  return c.resistorCount++;
}

void addCapacitor(Circuit& c, std::int32_t a, std::int32_t b, double C) {
  c.capacitors[c.capacitorCount++] = {a, b, C};
}

void addJunction(Circuit& c, std::int32_t anode, std::int32_t cathode, double Is) {
  c.junctions[c.junctionCount++] = {anode, cathode, Is};
}

void addPnp(Circuit& c, std::int32_t base, std::int32_t collector, std::int32_t emitter) {
  c.transistors[c.transistorCount++] = {base, collector, emitter, -1.0, 1e-14, 180.0, 4.0, 0.0, 1e-12};
}

void setModePath(Circuit& c, std::uint8_t source, std::int32_t rC4, std::int32_t rSquare, float r) {
  const double g = static_cast<double>(1.0f / r);
  c.resistors[rC4].G = source == 0 ? g : 0.0;
  c.resistors[rSquare].G = source == 1 ? g : 0.0;
}

}  // namespace

void buildCircuit(Circuit& circuit) {
  circuit = Circuit{};
  Circuit& c = circuit;
  c.vRail = addNode(c);
  c.pinned[c.vRail] = 1;
  c.nQ1Base = addNode(c);
  c.nSquare = addNode(c);
  c.nQ2Base = addNode(c);
  c.nQ2Collector = addNode(c);
  c.nD0Cathode = addNode(c);
  c.nD1Cathode = addNode(c);
  c.nC4 = addNode(c);
  c.nDivider = addNode(c);
  c.nToneButton = addNode(c);

  addResistor(c, c.nD0Cathode, 0, 1e-3);                   // R0
  addResistor(c, c.nQ2Collector, 0, 1e-3);                 // R1
  addResistor(c, c.nD1Cathode, c.nC4, 1e-3);               // R2
  addResistor(c, c.nD1Cathode, c.nDivider, 1.0 / 2200.0);  // R3
  addResistor(c, c.nDivider, 0, 1.0 / 47000.0);            // R4
  addResistor(c, c.nD1Cathode, c.nToneButton, 1e-4);       // R5
  c.rSpeedQ1 = addResistor(c, c.nQ1Base, 0, 1.0 / 47000.0);
  c.rSpeedQ2 = addResistor(c, c.nQ2Base, 0, 1.0 / 47000.0);
  c.rSpeedOff = addResistor(c, c.nDivider, 0, 1.0);
  c.rCorvaButton = addResistor(c, c.nSquare, c.vRail, kOpen);
  c.rToneButton = addResistor(c, c.nToneButton, c.vRail, kOpen);

  c.sourceX0 = c.currentSourceCount;
  c.currentSources[c.currentSourceCount++] = {c.nToneButton, 0.0};

  addJunction(c, c.nSquare, c.nD0Cathode, 1e-14);       // D0
  addJunction(c, c.nSquare, c.nD1Cathode, 1e-14);       // D1
  addCapacitor(c, c.nQ1Base, c.nQ2Collector, 8.91e-6);  // C0
  addCapacitor(c, c.nQ2Base, c.nD0Cathode, 8.83e-6);    // C1
  addCapacitor(c, c.nC4, 0, 125e-6);                    // C2
  addJunction(c, 0, c.nC4, 1e-22);                      // D2
  addPnp(c, c.nQ1Base, c.nSquare, c.vRail);             // Q1
  addCapacitor(c, c.nQ1Base, c.vRail, 4.5e-12);         // C3
  addCapacitor(c, c.nQ1Base, c.nSquare, 4e-12);         // C4
  addPnp(c, c.nQ2Base, c.nQ2Collector, c.vRail);        // Q2
  addCapacitor(c, c.nQ2Base, c.vRail, 4.5e-12);         // C5
  addCapacitor(c, c.nQ2Base, c.nQ2Collector, 4e-12);    // C6

  c.nPinA = addNode(c);
  c.pinned[c.nPinA] = 1;
  c.nPinB = addNode(c);
  c.pinned[c.nPinB] = 1;
  c.rModeC4A = addResistor(c, c.nC4, c.nPinA, kOpen);          // R11
  c.rModeSquareA = addResistor(c, c.nSquare, c.nPinA, kOpen);  // R12
  c.rModeC4B = addResistor(c, c.nC4, c.nPinB, kOpen);          // R13
  c.rModeSquareB = addResistor(c, c.nSquare, c.nPinB, kOpen);  // R14

  c.pinnedVoltage[c.vRail] = 0.0;
  for (double& x : c.x) x = 0.0;
}

void applyCircuitControls(Circuit& c, const CircuitControls& k) {
  c.pinnedVoltage[c.nPinA] = k.pinA;
  c.pinnedVoltage[c.nPinB] = k.pinB;
  setModePath(c, kModeTable[k.mode][0], c.rModeC4A, c.rModeSquareA, k.rA);
  setModePath(c, kModeTable[k.mode][1], c.rModeC4B, c.rModeSquareB, k.rB);
  c.currentSources[c.sourceX0].current = 0.0;
  c.pinnedVoltage[c.vRail] = k.gateOn ? k.supply : 0.0;
  c.resistors[c.rSpeedQ2].G = 1.0 / kSpeedResistor[k.speed];
  if (k.speed == 3) {
    c.resistors[c.rSpeedQ1].G = 0.0;
    c.resistors[c.rSpeedOff].G = kOpen;
  } else {
    c.resistors[c.rSpeedQ1].G = 1.0 / kSpeedResistor[k.speed];
    c.resistors[c.rSpeedOff].G = 1.0;
  }
  c.resistors[c.rCorvaButton].G = k.corvaBtn ? 1.0 : kOpen;
  c.resistors[c.rToneButton].G = k.toneBtn ? 1.0 : kOpen;
}

void stampLinear(const Circuit& c, double h, LinearStamp& linear) {
  double* J = linear.J;
  std::memset(J, 0, sizeof linear.J);
  for (int i = 0; i < c.nodeCount; ++i) J[i * kMaxNodes + i] = 1e-9;
  for (int k = 0; k < c.resistorCount; ++k) {
    const Resistor& r = c.resistors[k];
    stampConductance(J, r.a, r.b, r.G);
  }
  for (int k = 0; k < c.capacitorCount; ++k) {
    const Capacitor& cap = c.capacitors[k];
    const double g = cap.C / h;
    linear.capacitorG[k] = g;
    linear.capacitorStart[k] = c.xPrev[cap.a] - c.xPrev[cap.b];
    stampConductance(J, cap.a, cap.b, g);
  }
}

void stampCircuit(Circuit& c, const LinearStamp& linear, const double* v, double* F, double* S, double* J) {
  stampEquations(c, linear, v, F, S, J, scalarJunctionExps);
}

void stampCircuit(Circuit& c, const double* v, double h, double* F, double* S, double* J) {
  LinearStamp linear;
  stampLinear(c, h, linear);
  stampCircuit(c, linear, v, F, S, J);
}

}  // namespace corva
