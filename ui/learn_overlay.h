#pragma once
// The MIDI-learn overlay: while learn mode is on, a ring around every MIDI-mappable
// control with a small pill under it naming the source mapped to it; the chosen learn
// target gets a thicker, blinking ring and a brighter label.

#include <cstdint>

#include "ui/canvas.h"
#include "ui/font_state.h"

namespace corva {

struct MidiMap;

// faceRect and panelRect are {x, y, w, h} in pixels; compactPanel and panelOffset choose
// the effects panel's layout (both follow whether a news notice is shown).
void drawLearnOverlay(FontState& learnFont, Canvas& canvas, const float faceRect[4], const float panelRect[4],
                      int compactPanel, std::uint8_t panelOffset, bool learnArmed, int learnTarget, const MidiMap& map,
                      double nowSeconds);

// Whether the chosen target's ring shows its bright phase at `nowSeconds`.
bool isLearnBlinkOn(double nowSeconds);

}  // namespace corva
