#pragma once
// Junction law shared by both simulated circuits.

namespace corva {

// Thermal voltage at room temperature (volts).
inline constexpr double kThermalVoltage = 0.025852;
// 1 / VT: the device laws multiply by it instead of dividing by VT on every evaluation.
inline constexpr double kInverseThermalVoltage = 1.0 / kThermalVoltage;

// exp(1 V / VT): the value at which the junction exponential is continued by its tangent.
extern const double kJunctionExpLimit;

struct LimitedExp {
  double e;      // exp(v / VT), or its tangent continuation above 1 V
  double slope;  // d e / d v multiplied by VT
};

// The junction exponential exp(v / VT) for v <= 1 V; above 1 V it continues along its
// tangent so that a wild Newton iterate never overflows.
LimitedExp limitedExp(double v);

}  // namespace corva
