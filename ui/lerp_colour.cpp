#include "ui/lerp_colour.h"

namespace corva {

std::uint32_t lerpColour(std::uint32_t a, std::uint32_t b, float t) {
  std::uint32_t result = 0;
  for (int shift = 16; shift >= 0; shift -= 8) {
    const float from = static_cast<float>((a >> shift) & 0xFFu);
    const float to = static_cast<float>((b >> shift) & 0xFFu);
    const float c = (to - from) * t + from;
    // Written so that a NaN blend (from a non-finite t) falls to 0 instead of converting.
    std::uint32_t channel = 0;
    if (c > 255.0f) {
      channel = 255;
    } else if (c >= 0.0f) {
      channel = static_cast<std::uint32_t>(c + 0.5f);
    }
    result |= channel << shift;
  }
  return result;
}

}  // namespace corva
