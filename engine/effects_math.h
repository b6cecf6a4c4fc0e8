#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

namespace corva {

// True unless the sample's exponent bits are all ones (NaN, +Inf or -Inf).
inline bool isFiniteSample(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return (bits & 0x7f800000u) != 0x7f800000u;
}

// Clamps v to [lo, hi]; a NaN becomes lo, so a bad parameter can never reach
// an index or a gain.
inline float clampOrLow(float v, float lo, float hi) { return std::fmin(std::fmax(v, lo), hi); }

// One step of a one-pole glide towards target that lands exactly on it once
// within 1e-6. Near 1.0 a float step can round away to nothing before the
// distance falls under 1e-6 (at 48 kHz the glide would stall about 7e-6 short),
// so a step that no longer moves the value also lands on the target.
inline float smoothTowards(float current, float target, float coef) {
  const float next = current + (target - current) * coef;
  if (std::fabs(target - next) < 1e-6f || next == current) return target;
  return next;
}

// Nearest integer, halves away from zero, with a floor.
inline int32_t roundedSamples(double samples, int32_t floor) {
  const auto n = static_cast<int32_t>(std::lround(samples));
  return n > floor ? n : floor;
}

}  // namespace corva
