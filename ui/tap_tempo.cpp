// Releasing a pointer, and tap tempo: short presses on the time knob set the echo time
// from the mean interval between them.

#include <algorithm>

#include "model/host.h"
#include "model/param_table.h"
#include "ui/effects_panel_model.h"

namespace corva {
namespace {

constexpr int kRing = 8;
constexpr double kSeriesWindow = 1.5;  // seconds between the oldest and newest tap

// Position in the tap ring, also for a negative offset.
int ringIndex(int i) { return ((i % kRing) + kRing) % kRing; }

}  // namespace

void EffectsPanelModel::releaseControl(std::uint64_t pointerId) {
  PanelPointerSlot* slot = slotOf(pointerId);
  if (!slot) return;
  const PanelPointerSlot released = *slot;
  *slot = PanelPointerSlot{};
  if (released.isKnob && released.param == kTime) {
    // A press that travelled far enough was a drag of the knob, not a tap: it ends the series.
    if (released.maxTravel >= std::max(10.0f, 9.6f * pixelScale)) tapCount = 0;
    else registerTap(released.pressTime);
  }
  // A tap's tempo is part of its press's gesture, so the gesture ends after it.
  host->endGesture(released.param);
}

void EffectsPanelModel::registerTap(double pressTime) {
  tapTimes[tapIndex] = pressTime;
  tapIndex = ringIndex(tapIndex + 1);
  if (tapCount < kRing) {
    ++tapCount;
    if (tapCount < 2) return;
  }
  // Taps more than the window before the newest one belong to an earlier series.
  while (pressTime - tapTimes[ringIndex(tapIndex - tapCount)] > kSeriesWindow) {
    --tapCount;
    if (tapCount < 2) return;
  }
  beatOrigin = pressTime;
  const double oldest = tapTimes[ringIndex(tapIndex - tapCount)];
  const double interval = (pressTime - oldest) * 1000.0 / static_cast<double>(tapCount - 1);
  const float ms = static_cast<float>(std::clamp(interval, 40.0, 800.0));
  values[effectSlot(kTime)] = ms;
  host->setParameter(kTime, ms);
  host->redraw();
}

}  // namespace corva
