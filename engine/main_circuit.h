#pragma once
// The slow main circuit: a PNP astable oscillator, a diode network charging a 125 uF
// capacitor and the switched supply rail, as a modified-nodal-analysis netlist.

#include <cstdint>

namespace corva {

inline constexpr int kMaxNodes = 14;
inline constexpr int kMaxResistors = 18;
inline constexpr int kMaxCapacitors = 10;
inline constexpr int kMaxJunctions = 4;
inline constexpr int kMaxTransistors = 2;
inline constexpr int kMaxCurrentSources = 4;

struct Resistor {
  std::int32_t a;
  std::int32_t b;
  double G;  // conductance (siemens)
};

struct Capacitor {
  std::int32_t a;
  std::int32_t b;
  double C;  // farads
};

struct Junction {
  std::int32_t anode;
  std::int32_t cathode;
  double Is;
};

struct Transistor {
  std::int32_t base;
  std::int32_t collector;
  std::int32_t emitter;
  double polarity;  // +1 NPN, -1 PNP
  double Is;
  double betaF;
  double betaR;
  double breakdownVoltage;  // 0 = no reverse base-emitter breakdown
  double breakdownIs;
};

struct CurrentSource {
  std::int32_t node;
  double current;  // amperes injected into the node's equation
};

struct Circuit {
  std::int32_t nodeCount = 1;
  std::int32_t resistorCount = 0;
  std::int32_t capacitorCount = 0;
  std::int32_t junctionCount = 0;
  std::int32_t transistorCount = 0;
  std::int32_t currentSourceCount = 0;
  std::uint8_t pinned[kMaxNodes] = {1};
  double pinnedVoltage[kMaxNodes] = {};
  double x[kMaxNodes] = {};
  double xPrev[kMaxNodes] = {};
  std::int32_t evaluationCount = 0;
  // A sub-interval cut short by the evaluation cap is finished by the next block: the
  // part of it still to simulate (s, 0 when none) and the step size to try first.
  double resumeLeft = 0.0;
  double resumeStep = 0.0;
  Resistor resistors[kMaxResistors] = {};
  Capacitor capacitors[kMaxCapacitors] = {};
  Junction junctions[kMaxJunctions] = {};
  Transistor transistors[kMaxTransistors] = {};
  CurrentSource currentSources[kMaxCurrentSources] = {};
  // Indices recorded by buildCircuit for the per-block controls.
  std::int32_t vRail = 0;
  std::int32_t nQ1Base = 0;
  std::int32_t nSquare = 0;
  std::int32_t nQ2Base = 0;
  std::int32_t nQ2Collector = 0;
  std::int32_t nD0Cathode = 0;
  std::int32_t nD1Cathode = 0;
  std::int32_t nC4 = 0;
  std::int32_t nDivider = 0;
  std::int32_t nToneButton = 0;
  std::int32_t sourceX0 = 0;
  std::int32_t rSpeedQ1 = 0;      // R6
  std::int32_t rSpeedQ2 = 0;      // R7
  std::int32_t rSpeedOff = 0;     // R8
  std::int32_t rCorvaButton = 0;  // R9
  std::int32_t rToneButton = 0;   // R10
  std::int32_t nPinA = 0;
  std::int32_t nPinB = 0;
  std::int32_t rModeC4A = 0;      // R11: C4 to base A
  std::int32_t rModeSquareA = 0;  // R12: square to base A
  std::int32_t rModeC4B = 0;      // R13: C4 to base B
  std::int32_t rModeSquareB = 0;  // R14: square to base B
};

// Mode selector position -> (source of base A, source of base B): 0 = C4, 1 = square,
// anything else = the gated supply inside the output stage.
inline constexpr std::uint8_t kModeTable[4][2] = {{2, 0}, {2, 1}, {1, 1}, {0, 0}};

// Speed selector position -> oscillator base resistor (ohms); position 3 is "OFF".
inline constexpr double kSpeedResistor[4] = {47000.0, 22000.0, 10000.0, 10000.0};

// The control values applied to the main circuit before every block.
struct CircuitControls {
  double pinA;         // mean base A voltage of the output stage over the last block
  double pinB;         // mean base B voltage
  std::int32_t mode;   // 0..3
  std::int32_t speed;  // 0..3
  float rA;            // tone resistor A (ohms)
  float rB;            // tone resistor B (ohms)
  bool gateOn;
  double supply;  // rail voltage while the gate is on
  bool corvaBtn;
  bool toneBtn;
};

// Replaces the whole record with the instrument's netlist; every node starts at 0 V.
void buildCircuit(Circuit& circuit);

// Sets pinned voltages and conductances from the controls (selectors already clamped).
void applyCircuitControls(Circuit& circuit, const CircuitControls& controls);

// What the equations of one backward-Euler step share between its evaluations: the
// Jacobian of the linear elements (resistors and capacitors, row stride 14; a pinned
// node's row is the unit row), each capacitor's conductance C / h and its voltage at the
// step's start.
struct LinearStamp {
  double J[kMaxNodes * kMaxNodes];
  double capacitorG[kMaxCapacitors];
  double capacitorStart[kMaxCapacitors];
};

// Fills the step's shared part for a step h from xPrev.
void stampLinear(const Circuit& circuit, double h, LinearStamp& linear);

// Evaluates the equations at node voltages v for the step `linear` was made for:
// residual F (sum of currents leaving each node), current scale S and Jacobian J (row
// stride 14).
void stampCircuit(Circuit& circuit, const LinearStamp& linear, const double* v, double* F, double* S, double* J);

// The same for a backward-Euler step h, the shared part included.
void stampCircuit(Circuit& circuit, const double* v, double h, double* F, double* S, double* J);

}  // namespace corva
