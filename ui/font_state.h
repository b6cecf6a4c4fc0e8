#pragma once
// A font created from memory in the current editor window. Each drawing layer owns
// one, creates its font on its first draw, and the editor's close handler puts it
// back to "none, not created" so that the next window creates the font again.

#include <cstdint>

namespace corva {

struct FontState {
  std::int32_t handle = -1;  // handle from Canvas::createFontMem, -1 when none
  bool created = false;      // creation was attempted in the current window
};

}  // namespace corva
