#pragma once
// The instrument's main-circuit netlist, built at compile time: the solver's loops over
// its elements then run with every node index known, and buildCircuit copies it.

#include "engine/main_circuit.h"

namespace corva {

namespace netlist {

// Conductance of an open switch or an unselected mode path.
inline constexpr double kOpen = 1e-12;

constexpr std::int32_t addNode(Circuit& c) { return c.nodeCount++; }

constexpr std::int32_t addResistor(Circuit& c, std::int32_t a, std::int32_t b, double G) {
  c.resistors[c.resistorCount] = {a, b, G};
  return c.resistorCount++;
}

constexpr void addCapacitor(Circuit& c, std::int32_t a, std::int32_t b, double C) {
  c.capacitors[c.capacitorCount++] = {a, b, C};
}

constexpr void addJunction(Circuit& c, std::int32_t anode, std::int32_t cathode, double Is) {
  c.junctions[c.junctionCount++] = {anode, cathode, Is};
}

constexpr void addPnp(Circuit& c, std::int32_t base, std::int32_t collector, std::int32_t emitter) {
  c.transistors[c.transistorCount++] = {base, collector, emitter, -1.0, 1e-14, 180.0, 4.0, 0.0, 1e-12};
}

constexpr Circuit build() {
  Circuit c{};
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
  return c;
}

}  // namespace netlist

// The netlist at rest: every node at 0 V, the rail down, the selectors' resistors at
// their first positions.
inline constexpr Circuit kInstrumentNetlist = netlist::build();

// Whether a circuit record has the instrument's netlist: the same nodes, pinned nodes
// and elements between the same nodes (their values may differ).
inline bool hasInstrumentNetlist(const Circuit& c) {
  const Circuit& n = kInstrumentNetlist;
  if (c.nodeCount != n.nodeCount || c.resistorCount != n.resistorCount || c.capacitorCount != n.capacitorCount ||
      c.junctionCount != n.junctionCount || c.transistorCount != n.transistorCount ||
      c.currentSourceCount != n.currentSourceCount)
    return false;
  bool same = true;
  for (int i = 0; i < n.nodeCount; ++i) same &= (c.pinned[i] != 0) == (n.pinned[i] != 0);
  for (int k = 0; k < n.resistorCount; ++k)
    same &= c.resistors[k].a == n.resistors[k].a && c.resistors[k].b == n.resistors[k].b;
  for (int k = 0; k < n.capacitorCount; ++k)
    same &= c.capacitors[k].a == n.capacitors[k].a && c.capacitors[k].b == n.capacitors[k].b;
  for (int k = 0; k < n.junctionCount; ++k)
    same &= c.junctions[k].anode == n.junctions[k].anode && c.junctions[k].cathode == n.junctions[k].cathode;
  for (int k = 0; k < n.transistorCount; ++k)
    same &= c.transistors[k].base == n.transistors[k].base &&
            c.transistors[k].collector == n.transistors[k].collector &&
            c.transistors[k].emitter == n.transistors[k].emitter;
  for (int k = 0; k < n.currentSourceCount; ++k) same &= c.currentSources[k].node == n.currentSources[k].node;
  return same;
}

}  // namespace corva
