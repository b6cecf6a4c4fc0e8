#pragma once
// Drawing of the effects panel from its model: background, knobs with their values,
// the echo switch, captions and units, the beat light and the MIDI-learn buttons.

#include "ui/canvas.h"
#include "ui/effects_panel_model.h"

namespace corva {

// Draws the panel into rect {x, y, w, h} (pixels) and records that placement in the model.
void drawEffectsPanel(EffectsPanelModel& panel, Canvas& canvas, const float rect[4], UiLayer layer = UiLayer::kAll);

// Whether the beat light is lit at `now` (seconds of the host's clock).
bool isBeatLit(const EffectsPanelModel& panel, double now);

// A 270-degree knob open at the bottom, with value arc and pointer; normalised is clamped.
void drawPanelKnob(EffectsPanelModel& panel, Canvas& canvas, float cx, float cy, float normalised);

// Starts a path along an arc of `segments` straight pieces; angles in degrees, clockwise on screen.
void arcPath(Canvas& canvas, float cx, float cy, float r, float startDegrees, float endDegrees, int segments);

}  // namespace corva
