#pragma once
// Colour helpers: the interface writes its colours as 0xRRGGBB numbers or as 8-bit
// components; the canvas takes four floats in 0..1.

#include <cstdint>

#include "ui/canvas.h"

namespace corva {

// 0xRRGGBB to a Color; the top byte is ignored.
inline Color colourFromRgb(std::uint32_t rgb, float alpha = 1.0f) {
  return Color{static_cast<float>((rgb >> 16) & 0xFFu) / 255.0f, static_cast<float>((rgb >> 8) & 0xFFu) / 255.0f,
               static_cast<float>(rgb & 0xFFu) / 255.0f, alpha};
}

// Three 8-bit components to a Color.
inline Color colourFromBytes(int r, int g, int b, float alpha = 1.0f) {
  return Color{static_cast<float>(r) / 255.0f, static_cast<float>(g) / 255.0f, static_cast<float>(b) / 255.0f, alpha};
}

}  // namespace corva
