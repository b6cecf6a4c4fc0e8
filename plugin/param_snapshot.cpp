#include "plugin/param_snapshot.h"

#include <algorithm>
#include <cmath>

namespace corva {

namespace {
std::uint8_t pressed(double v) { return static_cast<float>(v) > 0.5f ? 1 : 0; }
std::int32_t position(double v) { return static_cast<std::int32_t>(std::round(static_cast<float>(v))); }
}  // namespace

EngineControls engineControlsFromParams(const double* values) {
  EngineControls c;
  c.trigger = pressed(values[kTrigger]);
  c.corvaBtn = pressed(values[kCorvaBtn]);
  c.toneBtn = pressed(values[kToneBtn]);
  c.hold = pressed(values[kHold]);
  c.tone = position(values[kTone]);
  c.mode = position(values[kMode]);
  c.speed = position(values[kSpeed]);
  c.volume = static_cast<float>(values[kVolume]);
  c.supply = static_cast<float>(values[kVcc]);
  c.refinement = -1;
  c.adaptiveCost = 0;
  c.oversamplingCap = 1 << std::clamp(position(values[kOversample]), 0, 3);
  return c;
}

EffectParams effectParamsFromParams(const double* values) {
  EffectParams e;
  e.echoOn = values[kEcho] >= 0.5;
  e.echoFeedback = static_cast<float>(values[kFeedback]);
  e.echoTimeMs = static_cast<float>(values[kTime]);
  e.reverbAmount = static_cast<float>(values[kReverb]);
  return e;
}

}  // namespace corva
