#include "ui/face_model.h"

#include <algorithm>
#include <cmath>

#include "model/value_map.h"

namespace corva {

namespace {

struct FaceControl {
  float cx, cy;
  float radius;  // 0 for the hold switch's rectangle
};

// Centres in face design units, in ParamId order.
constexpr FaceControl kFaceControls[kFaceControlCount] = {
    {143.872f, 160.96f, 78.0f},  // tone selector
    {367.744f, 159.04f, 78.0f},  // mode selector
    {589.888f, 157.44f, 78.0f},  // speed selector
    {141.44f, 433.088f, 78.0f},  // volume knob
    {367.488f, 425.28f, 41.6f},  // tone button
    {272.0f, 431.68f, 41.6f},    // corvaBtn button
    {459.008f, 425.6f, 41.6f},   // trigger button
    {590.464f, 428.288f, 0.0f},  // hold switch: 56 x 96 rectangle
};
constexpr float kHoldHalfWidth = 28.0f;
constexpr float kHoldHalfHeight = 48.0f;
constexpr float kKnobTravel = 200.0f;   // design units for the knob's whole range
constexpr float kSelectorStep = 30.0f;  // design units per selector position
constexpr float kWheelStep = 0.02f;
constexpr float kFineWheelStep = 0.002f;

bool isSelector(int c) { return c >= kTone && c <= kSpeed; }
bool isSwitchLike(int c) { return kParamTable[c].isBool || kParamTable[c].isEnum; }
int lastPosition(int c) { return kParamTable[c].enumCount - 1; }

// A stored value truncated to an integer position; values that no position can
// come from (not finite, absurdly large) count as 0 or the far end.
int truncatedPosition(float v) {
  if (!std::isfinite(v)) return 0;
  return static_cast<int>(std::clamp(v, -1.0e6f, 1.0e6f));
}

float clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

}  // namespace

FaceModel::FaceModel(Host* h) : host(h) {
  for (int i = 0; i < kNumParams; ++i) values[i] = kParamTable[i].defaultValue;
}

void FaceModel::setValue(int index, float v) {
  if (index >= 0 && index < kNumParams) values[index] = v;
}

float FaceModel::value(int index) const { return index >= 0 && index < kNumParams ? values[index] : 0.0f; }

int FaceModel::findSlot(std::uint64_t pointerId) const {
  for (int i = 0; i < kFacePointerSlots; ++i)
    if (pointers[i].control >= 0 && pointers[i].pointerId == pointerId) return i;
  return -1;
}

bool FaceModel::controlHeld(int control, int exceptSlot) const {
  for (int i = 0; i < kFacePointerSlots; ++i)
    if (i != exceptSlot && pointers[i].control == control) return true;
  return false;
}

bool FaceModel::pressControl(std::uint64_t pointerId, float x, float y) {
  const int c = hitTestFace(*this, x, y);
  if (c < 0) return false;
  int slot = -1;
  for (int i = 0; i < kFacePointerSlots && slot < 0; ++i)
    if (pointers[i].control < 0) slot = i;
  if (slot < 0) return false;  // a sixth simultaneous gesture
  FacePointerSlot& s = pointers[slot];

  if (isSwitchLike(c)) host->switchPressed();
  // The press opens the gesture the release closes, whatever the control.
  host->beginGesture(c);
  if (isSelector(c)) {
    s = {pointerId, c, FacePressKind::Selector, truncatedPosition(values[c]), y, 0.0f};
    return true;
  }
  if (!isSwitchLike(c)) {
    s = {pointerId, c, FacePressKind::Knob, 0, y, clamp01(toNormalised(kParamTable[c], values[c]))};
    return true;
  }
  if (c == kHold) {
    // A second pointer on the held switch does not flip it again.
    const bool alreadyHeld = controlHeld(kHold, slot);
    s = {pointerId, c, FacePressKind::Toggle, 0, 0.0f, 0.0f};
    if (!alreadyHeld) {
      values[kHold] = values[kHold] > 0.5f ? 0.0f : 1.0f;
      host->setParameter(kHold, values[kHold]);
      host->valueEdited(true);
      host->redraw();
    }
    return true;
  }
  s = {pointerId, c, FacePressKind::Momentary, 0, 0.0f, 0.0f};
  values[c] = 1.0f;
  host->setParameter(c, 1.0f);
  host->valueEdited(true);
  host->redraw();
  return true;
}

bool FaceModel::dragControl(std::uint64_t pointerId, float /*x*/, float y) {
  if (!(pixelScale > 0.0f)) return false;
  const int slot = findSlot(pointerId);
  if (slot < 0 || !std::isfinite(y)) return false;
  const FacePointerSlot& s = pointers[slot];
  const int c = s.control;
  const float travel = (s.pressY - y) / pixelScale;  // design units, upwards positive

  if (s.kind == FacePressKind::Selector) {
    // Counted from the press, so moving back over the press point restores it.
    const int steps = truncatedPosition(std::round(travel / kSelectorStep));
    const int target = std::clamp(s.pressStep + steps, 0, lastPosition(c));
    if (target == truncatedPosition(values[c])) return true;
    values[c] = static_cast<float>(target);
    host->setParameter(c, values[c]);
    host->valueEdited(false);
    host->redraw();
    return true;
  }
  if (s.kind == FacePressKind::Knob) {
    const float t = clamp01(s.pressNormalised + travel / kKnobTravel);
    const float v = fromNormalised(kParamTable[c], t);
    if (v == values[c]) return true;  // held past an end of the range: nothing to tell
    values[c] = v;
    host->setParameter(c, values[c]);
    host->redraw();
    return true;
  }
  return false;
}

void FaceModel::releaseControl(std::uint64_t pointerId) {
  const int slot = findSlot(pointerId);
  if (slot < 0) return;
  const int c = pointers[slot].control;
  pointers[slot].control = -1;
  // The button stays down until its last pointer lets go; one already let go some other
  // way (MIDI learn lets go of held buttons) is not set again.
  if (pointers[slot].kind == FacePressKind::Momentary && !controlHeld(c, -1) && values[c] != 0.0f) {
    values[c] = 0.0f;
    host->setParameter(c, 0.0f);
    host->redraw();
  }
  host->endGesture(c);
}

bool FaceModel::nudgeControl(float x, float y, float delta, bool fine) {
  if (!std::isfinite(delta)) return false;
  const int c = hitTestFace(*this, x, y);
  if (c < 0 || controlHeld(c, -1)) return false;

  if (isSelector(c)) {
    if (wheelSelector != c) {
      wheelSelector = c;
      wheelAccumulator = 0.0f;
    }
    wheelAccumulator += delta;
    const int steps = truncatedPosition(wheelAccumulator);
    if (steps == 0) return false;  // the fraction waits for the next turn
    wheelAccumulator -= static_cast<float>(steps);
    const int current = truncatedPosition(values[c]);
    const int target = current + steps;
    const int clamped = std::clamp(target, 0, lastPosition(c));
    if (clamped != target) wheelAccumulator = 0.0f;
    if (clamped == current) return false;
    values[c] = static_cast<float>(clamped);
    host->setParameter(c, values[c]);
    host->valueEdited(false);
    host->redraw();
    return true;
  }
  if (isSwitchLike(c)) return false;

  const float before = clamp01(toNormalised(kParamTable[c], values[c]));
  const float after = clamp01(before + delta * (fine ? kFineWheelStep : kWheelStep));
  if (after == before) return false;
  values[c] = fromNormalised(kParamTable[c], after);
  host->setParameter(c, values[c]);
  host->redraw();
  return true;
}

int hitTestFace(const FaceModel& face, float x, float y) {
  const float s = face.pixelScale;
  for (int i = 0; i < kFaceControlCount; ++i) {
    const FaceControl& k = kFaceControls[i];
    const float dx = x - (face.originX + s * k.cx);
    const float dy = y - (face.originY + s * k.cy);
    if (k.radius > 0.0f) {
      const float r = k.radius * s;
      if (dx * dx + dy * dy <= r * r) return i;
    } else if (std::fabs(dx) <= kHoldHalfWidth * s && std::fabs(dy) <= kHoldHalfHeight * s) {
      return i;
    }
  }
  return -1;
}

bool faceControlCentre(int index, float& x, float& y) {
  if (index < 0 || index >= kFaceControlCount) return false;
  x = kFaceControls[index].cx;
  y = kFaceControls[index].cy;
  return true;
}

}  // namespace corva
