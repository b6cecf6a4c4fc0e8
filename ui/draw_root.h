#pragma once
// The draw root: lays the interface out in the window and draws its layers.

#include "ui/canvas.h"
#include "ui/ui_model.h"

namespace corva {

// The interface's design size: the face (736 wide) and the effects panel (128 wide).
constexpr float kUiDesignWidth = 864.0f;
constexpr float kUiDesignHeight = 573.44f;

// Draws the interface (all of it, or one layer) into a window of width x height pixels.
// The design is scaled to the width; with `fit` it is letterboxed into the window instead.
void drawUi(UiModel& ui, Canvas& canvas, float width, float height, bool fit, UiLayer layer = UiLayer::kAll);

}  // namespace corva
