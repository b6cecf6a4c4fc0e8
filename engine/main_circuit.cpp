#include "engine/main_circuit.h"

#include <cmath>
#include <cstring>

#include "engine/device_laws.h"

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

// Adds a current I flowing from a to b to the residuals and the current scales.
inline void stampCurrent(double* F, double* S, std::int32_t a, std::int32_t b, double I) {
  F[a] += I;
  F[b] -= I;
  S[a] += std::fabs(I);
  S[b] += std::fabs(I);
}

// Adds a conductance g between a and b to the Jacobian.
inline void stampConductance(double* J, std::int32_t a, std::int32_t b, double g) {
  J[a * kMaxNodes + a] += g;
  J[a * kMaxNodes + b] -= g;
  J[b * kMaxNodes + b] += g;
  J[b * kMaxNodes + a] -= g;
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

  addJunction(c, c.nSquare, c.nD0Cathode, 1e-14);  // D0
  addJunction(c, c.nSquare, c.nD1Cathode, 1e-14);  // D1
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
  c.rModeC4A = addResistor(c, c.nC4, c.nPinA, kOpen);         // R11
  c.rModeSquareA = addResistor(c, c.nSquare, c.nPinA, kOpen);  // R12
  c.rModeC4B = addResistor(c, c.nC4, c.nPinB, kOpen);         // R13
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

// The Jacobian's entries are sums in element order: the linear elements first, then the
// junctions and transistors. Starting from the step's linear sums therefore gives the
// same values as stamping every element afresh.
void stampCircuit(Circuit& c, const LinearStamp& linear, const double* v, double* F, double* S, double* J) {
  c.evaluationCount += 1;
  const int n = c.nodeCount;
  std::memcpy(J, linear.J, sizeof(double) * kMaxNodes * n);
  for (int i = 0; i < n; ++i) {
    F[i] = 1e-9 * v[i];
    S[i] = std::fabs(F[i]);
  }
  for (int k = 0; k < c.resistorCount; ++k) {
    const Resistor& r = c.resistors[k];
    stampCurrent(F, S, r.a, r.b, (v[r.a] - v[r.b]) * r.G);
  }
  for (int k = 0; k < c.currentSourceCount; ++k) {
    const CurrentSource& s = c.currentSources[k];
    F[s.node] += s.current;
    S[s.node] += std::fabs(s.current);
  }
  for (int k = 0; k < c.capacitorCount; ++k) {
    const Capacitor& cap = c.capacitors[k];
    const double I = ((v[cap.a] - v[cap.b]) - linear.capacitorStart[k]) * linear.capacitorG[k];
    stampCurrent(F, S, cap.a, cap.b, I);
  }
  for (int k = 0; k < c.junctionCount; ++k) {
    const Junction& d = c.junctions[k];
    const LimitedExp e = limitedExp(v[d.anode] - v[d.cathode]);
    stampCurrent(F, S, d.anode, d.cathode, d.Is * (e.e - 1.0));
    stampConductance(J, d.anode, d.cathode, d.Is * e.slope * kInverseThermalVoltage);
  }
  for (int k = 0; k < c.transistorCount; ++k) {
    const Transistor& q = c.transistors[k];
    const int b = q.base, col = q.collector, em = q.emitter;
    const double p = q.polarity;
    const LimitedExp f = limitedExp(p * (v[b] - v[em]));
    const LimitedExp r = limitedExp(p * (v[b] - v[col]));
    const double isF = q.Is / q.betaF, isR = q.Is / q.betaR;
    const double Ibe = isF * (f.e - 1.0);
    const double Ibc = isR * (r.e - 1.0);
    const double Ict = q.Is * (f.e - r.e);
    F[b] += p * (Ibe + Ibc);
    F[col] += p * (Ict - Ibc);
    F[em] -= p * (Ict + Ibe);
    S[b] += std::fabs(Ibe + Ibc);
    S[col] += std::fabs(Ict - Ibc);
    S[em] += std::fabs(Ict + Ibe);
    const double gPi = isF * f.slope * kInverseThermalVoltage;
    const double gMu = isR * r.slope * kInverseThermalVoltage;
    const double gF = q.Is * f.slope * kInverseThermalVoltage;
    const double gR = q.Is * r.slope * kInverseThermalVoltage;
    double* Jb = J + b * kMaxNodes;
    double* Jc = J + col * kMaxNodes;
    double* Je = J + em * kMaxNodes;
    Jb[b] += gPi + gMu;
    Jb[em] -= gPi;
    Jb[col] -= gMu;
    Jc[b] += gF - gR - gMu;
    Jc[em] -= gF;
    Jc[col] += gR + gMu;
    Je[b] += gR - gF - gPi;
    Je[em] += gF + gPi;
    Je[col] -= gR;
    if (q.breakdownVoltage > 0.0) {
      const LimitedExp d = limitedExp(-p * (v[b] - v[em]) - q.breakdownVoltage);
      const double I = q.breakdownIs * (d.e - 1.0);
      const double g = q.breakdownIs * d.slope * kInverseThermalVoltage;
      F[b] -= p * I;
      F[em] += p * I;
      S[b] += std::fabs(I);
      S[em] += std::fabs(I);
      Jb[b] += g;
      Jb[em] -= g;
      Je[b] -= g;
      Je[em] += g;
    }
  }
  for (int i = 0; i < n; ++i) {
    if (!c.pinned[i]) continue;
    F[i] = v[i] - c.pinnedVoltage[i];
    std::memset(J + i * kMaxNodes, 0, sizeof(double) * kMaxNodes);
    J[i * kMaxNodes + i] = 1.0;
  }
}


void stampCircuit(Circuit& c, const double* v, double h, double* F, double* S, double* J) {
  LinearStamp linear;
  stampLinear(c, h, linear);
  stampCircuit(c, linear, v, F, S, J);
}

}  // namespace corva
