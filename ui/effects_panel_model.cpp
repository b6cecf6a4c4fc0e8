#include "ui/effects_panel_model.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "model/host.h"
#include "model/param_table.h"
#include "model/value_map.h"

namespace corva {
namespace {

constexpr int kEchoSlot = 1;
constexpr int kFirstEffect = kReverb;
constexpr double kNeverPressed = -1e8;
constexpr float kKnobHitRadius = 44.8f;
constexpr float kSwitchHalfWidth = 28.800001f;
constexpr float kSwitchHalfHeight = 12.8f;

const PanelLayout kNormalLayout{22.4f, 0.0f, -20.4736f, 34.176003f, 50.150402f};
const PanelLayout kCompactLayout{20.4f, 8.0f, -17.728f, 33.2608f, 47.4048f};

float clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

}  // namespace

int effectSlot(int index) { return (index >= kReverb && index <= kTime) ? index - kFirstEffect : -1; }

const PanelLayout& panelLayout(bool newsShown) { return newsShown ? kCompactLayout : kNormalLayout; }

bool effectsKnobCentre(int index, float& x, float& y, bool compact, bool shifted) {
  const int slot = effectSlot(index);
  if (slot < 0) return false;
  const PanelLayout& layout = panelLayout(compact);
  const float extra = shifted ? 8.0f : 0.0f;
  x = 64.0f;
  y = ((static_cast<float>(slot) + 0.5f) * layout.pitch + extra) * 6.4f + layout.knobOffset;
  return true;
}

EffectsPanelModel::EffectsPanelModel(Host* h) : host(h) {}

void EffectsPanelModel::setValue(int index, float v) {
  const int slot = effectSlot(index);
  if (slot >= 0) values[slot] = v;
}

float EffectsPanelModel::value(int index) const {
  const int slot = effectSlot(index);
  return slot >= 0 ? values[slot] : 0.0f;
}

bool EffectsPanelModel::isEchoOn() const { return values[kEchoSlot] >= 0.5f; }

bool EffectsPanelModel::isPressAnimating() const {
  return pressTimes[kEchoSlot] > kNeverPressed &&
         host->nowSeconds() - pressTimes[kEchoSlot] < static_cast<double>(0.12f);
}

int EffectsPanelModel::hitTest(float x, float y) const {
  const float s = pixelScale;
  const float cx = originX + 64.0f * s;
  const PanelLayout& layout = panelLayout(newsShown);
  for (int slot = 0; slot < 4; ++slot) {
    const int param = kFirstEffect + slot;
    const float cy = originY + layout.centreY(slot) * s;
    if (kParamTable[param].isBool) {
      if (cx - kSwitchHalfWidth * s <= x && x <= cx + kSwitchHalfWidth * s && cy - kSwitchHalfHeight * s <= y &&
          y <= cy + kSwitchHalfHeight * s) {
        return param;
      }
    } else {
      const float dx = x - cx, dy = y - cy, r = kKnobHitRadius * s;
      if (dx * dx + dy * dy <= r * r) return param;
    }
  }
  return -1;
}

int EffectsPanelModel::hitTestButtons(float x, float y) const {
  if (!learnAvailable) return 0;
  const float s = pixelScale;
  const float top = originY + panelLayout(newsShown).stripTop() * s;
  if (y < top || y > originY + kPanelDesignHeight * s || x < originX || x > originX + kPanelDesignWidth * s) {
    return 0;
  }
  if (!learnArmed) return 1;
  return x < originX + 64.0f * s ? 1 : 2;
}

PanelPointerSlot* EffectsPanelModel::slotOf(std::uint64_t pointerId) {
  for (PanelPointerSlot& slot : pointers) {
    if (slot.param >= 0 && slot.pointerId == pointerId) return &slot;
  }
  return nullptr;
}

bool EffectsPanelModel::heldByPointer(int param) const {
  return std::any_of(std::begin(pointers), std::end(pointers),
                     [param](const PanelPointerSlot& slot) { return slot.param == param; });
}

bool EffectsPanelModel::pressControl(std::uint64_t pointerId, float x, float y) {
  const int p = hitTest(x, y);
  if (p < 0) return false;
  PanelPointerSlot* free = nullptr;
  for (PanelPointerSlot& slot : pointers) {
    if (slot.param < 0) {
      free = &slot;
      break;
    }
  }
  if (!free) return false;
  const int slotIndex = effectSlot(p);
  // The press opens the gesture the release closes.
  host->beginGesture(p);
  if (kParamTable[p].isBool) {
    host->switchPressed();
    if (!heldByPointer(p)) {
      const double t = host->nowSeconds();
      // Start from where the switch is drawn, so a press mid-glide turns it smoothly.
      animStart[slotIndex] = togglePosition(slotIndex, t);
      pressTimes[slotIndex] = t;
      values[slotIndex] = values[slotIndex] < 0.5f ? 1.0f : 0.0f;
      host->setParameter(p, values[slotIndex]);
      host->valueEdited(true);
      host->redraw();
    }
    *free = PanelPointerSlot{};
    free->pointerId = pointerId;
    free->param = p;
    free->pressY = y;
    return true;
  }
  const float n = clamp01(toNormalised(kParamTable[p], values[slotIndex]));
  const double t = host->nowSeconds();
  *free = PanelPointerSlot{pointerId, p, true, y, n, t, 0.0f};
  return true;
}

bool EffectsPanelModel::dragControl(std::uint64_t pointerId, float x, float y) {
  (void)x;
  // A panel that was never drawn with a real size has no meaningful travel.
  if (!(pixelScale > 0.0f)) return false;
  PanelPointerSlot* slot = slotOf(pointerId);
  if (!slot || !slot->isKnob) return false;
  slot->maxTravel = std::max(std::fabs(y - slot->pressY), slot->maxTravel);
  const float t = clamp01((slot->pressY - y) / pixelScale / 200.0f + slot->pressNormalised);
  if (std::isnan(t)) return false;
  const int p = slot->param;
  const float v = fromNormalised(kParamTable[p], t);
  if (v == values[effectSlot(p)]) return true;  // held past an end of the range
  values[effectSlot(p)] = v;
  host->setParameter(p, v);
  host->redraw();
  return true;
}

bool EffectsPanelModel::nudgeControl(float x, float y, float delta, bool fine) {
  const int p = hitTest(x, y);
  if (p < 0 || kParamTable[p].isBool || heldByPointer(p)) return false;
  const int slotIndex = effectSlot(p);
  const float step = fine ? 0.002f : 0.02f;
  const float n = clamp01(toNormalised(kParamTable[p], values[slotIndex]));
  const float next = clamp01(n + step * delta);
  if (next == n || std::isnan(next)) return false;
  const float v = fromNormalised(kParamTable[p], next);
  values[slotIndex] = v;
  host->setParameter(p, v);
  host->redraw();
  return true;
}

bool EffectsPanelModel::updateTapHover(float x, float y) {
  const bool hover = hitTest(x, y) == kTime;
  const bool changed = hover != tapHover;
  tapHover = hover;
  return changed;
}

bool EffectsPanelModel::clearTapHover() {
  const bool was = tapHover;
  tapHover = false;
  return was;
}

float EffectsPanelModel::togglePosition(int slot, double now) const {
  if (slot < 0 || slot > 3) return 0.0f;
  const float target = values[slot] >= 0.5f ? 1.0f : 0.0f;
  if (pressTimes[slot] <= kNeverPressed) return target;
  const float u = static_cast<float>(std::clamp((now - pressTimes[slot]) / 0.12, 0.0, 1.0));
  return animStart[slot] + (target - animStart[slot]) * (3.0f - 2.0f * u) * u * u;
}

}  // namespace corva
