#pragma once
// The instrument's face: its copy of the 15 parameter values, where each face control
// sits, and the pointer gestures (press, drag, release, wheel) that turn into
// parameter requests through corva::Host. Drawing lives in face_draw.h.

#include <cstdint>

#include "model/host.h"
#include "model/param_table.h"

namespace corva {

// The face's design size in design units; the face is drawn scaled to its width.
constexpr float kFaceDesignWidth = 736.0f;
constexpr float kFaceDesignHeight = 573.44f;
// Face controls are the parameters 0..7 (selectors, volume, buttons, hold switch).
constexpr int kFaceControlCount = 8;
constexpr int kFacePointerSlots = 5;
constexpr int kFaceImageSlots = 9;

enum class FacePressKind : std::int32_t { None = 0, Momentary = 1, Knob = 2, Selector = 3, Toggle = 4 };

struct FacePointerSlot {
  std::uint64_t pointerId = 0;
  std::int32_t control = -1;  // parameter index held, -1 when the slot is free
  FacePressKind kind = FacePressKind::None;
  std::int32_t pressStep = 0;    // selector position at the press
  float pressY = 0.0f;           // pointer y at the press, pixels
  float pressNormalised = 0.0f;  // knob position at the press, 0..1
};

class FaceModel {
 public:
  explicit FaceModel(Host* host);

  // A pointer went down at (x, y) pixels; true when a face control took it.
  bool pressControl(std::uint64_t pointerId, float x, float y);
  // The pointer moved; true while it drags a selector or the knob.
  bool dragControl(std::uint64_t pointerId, float x, float y);
  // The pointer went up (also for a release outside the window).
  void releaseControl(std::uint64_t pointerId);
  // A wheel turn of `delta` notches over (x, y); fine turns move the knob 10x slower.
  bool nudgeControl(float x, float y, float delta, bool fine);

  void setValue(int index, float value);
  float value(int index) const;

  FacePointerSlot pointers[kFacePointerSlots];
  std::int32_t wheelSelector = -1;  // selector the carried wheel travel belongs to
  float wheelAccumulator = 0.0f;
  Host* host;
  // Where the last draw put the face: pixel origin and pixels per design unit.
  float originX = 0.0f;
  float originY = 0.0f;
  float pixelScale = 1.0f;
  float values[kNumParams];
  int images[kFaceImageSlots] = {};  // image handles; 0 or less = none
  bool imagesCreated = false;

 private:
  int findSlot(std::uint64_t pointerId) const;
  bool controlHeld(int control, int exceptSlot) const;
};

// Index 0..7 of the face control under the pixel point, or -1.
int hitTestFace(const FaceModel& face, float x, float y);
// Centre of face control 0..7 in design units; false (x, y untouched) otherwise.
bool faceControlCentre(int index, float& x, float& y);

}  // namespace corva
