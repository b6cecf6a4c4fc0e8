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
inline float clampOrLow(float v, float lo, float hi) {
    return std::fmin(std::fmax(v, lo), hi);
}

// Nearest integer, halves away from zero, with a floor.
inline int32_t roundedSamples(double samples, int32_t floor) {
    const auto n = static_cast<int32_t>(std::lround(samples));
    return n > floor ? n : floor;
}

}  // namespace corva
