#pragma once
// Drawing of the instrument's face from its FaceModel. Every element is drawn from
// the face images when they exist and has a vector drawing of its own otherwise.

#include "ui/canvas.h"
#include "ui/face_model.h"

namespace corva {

// rect: x, y, width, height of the face in pixels (the height is not used: the face
// keeps its proportion). Records the placement in the model for the hit tests.
void drawMainFace(FaceModel& face, Canvas& canvas, const float rect[4], UiLayer layer = UiLayer::kAll);

// The part of the window the LED and its fullest glow cover, {x, y, w, h} in pixels, at
// the face's last drawn placement.
void faceLedRect(const FaceModel& face, float rect[4]);

}  // namespace corva
