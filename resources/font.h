#pragma once
// The interface's one font: a TrueType subset of Roboto Regular made at build time.
// The bytes live for the whole run of the program, as NanoVG keeps using them
// after the font is created from memory.

namespace corva {

extern const unsigned char kEmbeddedFont[];
extern const int kEmbeddedFontSize;

}  // namespace corva
