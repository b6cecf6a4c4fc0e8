#pragma once
// Junction law shared by both simulated circuits.

#include "engine/exponential.h"

namespace corva {

// Thermal voltage at room temperature (volts).
inline constexpr double kThermalVoltage = 0.025852;
// 1 / VT: the device laws multiply by it instead of dividing by VT on every evaluation.
inline constexpr double kInverseThermalVoltage = 1.0 / kThermalVoltage;

// exp(1 V / VT): the value at which the junction exponential is continued by its tangent.
inline constexpr double kJunctionExpLimit = exponential(1.0 / kThermalVoltage);

struct LimitedExp {
  double e;      // exp(v / VT), or its tangent continuation above 1 V
  double slope;  // d e / d v multiplied by VT
};

// The junction exponential exp(v / VT) for v <= 1 V; above 1 V it continues along its
// tangent so that a wild Newton iterate never overflows. Inline: every evaluation of
// either circuit calls it several times.
constexpr LimitedExp limitedExp(double v) {
  if (v <= 1.0) {
    const double e = exponential(v * kInverseThermalVoltage);
    return {e, e};
  }
  return {((v - 1.0) * kInverseThermalVoltage + 1.0) * kJunctionExpLimit, kJunctionExpLimit};
}

}  // namespace corva
