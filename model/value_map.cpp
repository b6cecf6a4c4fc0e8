#include "model/value_map.h"

#include <cmath>

namespace corva {

// Both directions are computed in double so that the ends of a logarithmic range
// come back exactly (0 and 1 give the minimum and the maximum).
float toNormalised(const ParamSpec& spec, float value) {
  const double lo = spec.minValue, hi = spec.maxValue, v = value;
  if (spec.isLog) return static_cast<float>(std::log(v / lo) / std::log(hi / lo));
  return static_cast<float>((v - lo) / (hi - lo));
}

float fromNormalised(const ParamSpec& spec, float t) {
  const double lo = spec.minValue, hi = spec.maxValue;
  if (spec.isLog) return static_cast<float>(lo * std::exp(std::log(hi / lo) * t));
  return static_cast<float>(lo + (hi - lo) * t);
}

}  // namespace corva
