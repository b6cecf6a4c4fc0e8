#include "engine/main_circuit.h"

#include <cmath>
#include <cstring>

#include "engine/device_laws.h"
#include "engine/main_circuit_netlist.h"
#include "engine/main_circuit_step.h"

namespace corva {

namespace {

using netlist::kOpen;

void setModePath(Circuit& c, std::uint8_t source, std::int32_t rC4, std::int32_t rSquare, float r) {
  const double g = static_cast<double>(1.0f / r);
  c.resistors[rC4].G = source == 0 ? g : 0.0;
  c.resistors[rSquare].G = source == 1 ? g : 0.0;
}

}  // namespace

void buildCircuit(Circuit& circuit) { circuit = kInstrumentNetlist; }

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
  stampLinearElements<kMaxNodes, RecordNetlist>(c, h, linear.J, linear.capacitorG, linear.capacitorStart);
}

void stampCircuit(Circuit& c, const LinearStamp& linear, const double* v, double* F, double* S, double* J) {
  stampEquations<kMaxNodes, false, RecordNetlist>(c, linear.J, linear.capacitorG, linear.capacitorStart, v, F, S, J,
                                                  scalarJunctionExps);
}

void stampCircuit(Circuit& c, const double* v, double h, double* F, double* S, double* J) {
  LinearStamp linear;
  stampLinear(c, h, linear);
  stampCircuit(c, linear, v, F, S, J);
}

}  // namespace corva
