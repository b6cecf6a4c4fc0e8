#pragma once
// Blending of packed 0xRRGGBB colours, for controls that glide between two states.

#include <cstdint>

namespace corva {

// Blends a towards b by t, channel by channel, rounding to the nearest level and
// limiting each channel to 0..255. The top byte of the result is 0.
std::uint32_t lerpColour(std::uint32_t a, std::uint32_t b, float t);

}  // namespace corva
