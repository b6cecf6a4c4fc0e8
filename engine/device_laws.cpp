#include "engine/device_laws.h"

#include <cmath>

namespace corva {

const double kJunctionExpLimit = std::exp(1.0 / kThermalVoltage);

LimitedExp limitedExp(double v) {
  if (v <= 1.0) {
    const double e = std::exp(v * kInverseThermalVoltage);
    return {e, e};
  }
  return {((v - 1.0) * kInverseThermalVoltage + 1.0) * kJunctionExpLimit, kJunctionExpLimit};
}

}  // namespace corva
