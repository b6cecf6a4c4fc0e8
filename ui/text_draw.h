#pragma once
// The text helpers that interface text goes through.

#include <cstdint>

#include "ui/canvas.h"
#include "ui/font_state.h"

namespace corva {

// NanoVG alignment bits: horizontal left, centre, right; vertical middle.
constexpr int kAlignLeft = 1;
constexpr int kAlignCenter = 2;
constexpr int kAlignRight = 4;
constexpr int kAlignMiddle = 16;

// drawTextFitted may write its ellipsis and terminating zero up to this many bytes
// past the text's own terminating zero: every buffer handed to it needs this room.
constexpr int kFittedTextSpare = 3;

// Creates the embedded font under `name` on a layer's first draw in a window. A failed
// creation is not retried until the font state is reset for a new window.
void createEmbeddedFont(FontState& font, Canvas& canvas, const char* name);

// Draws one line of text centred vertically on y. `align` gives only the horizontal
// alignment; `rgb` is 0xRRGGBB (top byte ignored) and text is always opaque.
// A negative font handle draws nothing.
void drawText(Canvas& canvas, int font, float x, float y, const char* text, float size, int align, std::uint32_t rgb);

// Width of `text` in the given font and size; 0 with a negative font handle.
float measureText(Canvas& canvas, int font, float size, const char* text);

// Shortens `text` in place, whole UTF-8 characters at a time, ending it with an
// ellipsis, until it fits maxWidth. Draws nothing. The buffer must have
// kFittedTextSpare bytes of room after the terminating zero. A negative font handle
// leaves the text as it is.
void drawTextFitted(Canvas& canvas, int font, char* text, float size, float maxWidth);

}  // namespace corva
