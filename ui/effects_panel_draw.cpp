#include "ui/effects_panel_draw.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "model/host.h"
#include "model/param_table.h"
#include "model/value_map.h"
#include "ui/colour.h"
#include "ui/lerp_colour.h"
#include "ui/text_draw.h"

namespace corva {
namespace {

constexpr std::uint32_t kBackground = 0x1C1C1C;
constexpr std::uint32_t kTrack = 0x3A3A3A;
constexpr std::uint32_t kAccent = 0x9D5CFF;
constexpr std::uint32_t kText = 0xA8A099;
constexpr std::uint32_t kMuted = 0x6E6862;
constexpr std::uint32_t kBeatLit = 0xE8322A;
constexpr std::uint32_t kBeatDark = 0x3A1513;

constexpr float kDegrees = 0.017453292f;
constexpr float kKnobRadius = 31.501797f;
constexpr float kThinLine = 1.5750898f;
constexpr float kValueLine = 2.7564073f;
constexpr float kPointerUnit = 0.7875449f;

constexpr float kValueSize = 15.36f;
constexpr float kCaptionSize = 14.08f;
constexpr float kSmallSize = 10.88f;

constexpr float kBeatLightX = 90.88f;

const char* const kCaptions[4] = {"REVERB", "ECHO", "FEEDBACK", "TIME"};
const char* const kUnits[4] = {"%", "", "%", "ms"};

void fillCircle(Canvas& canvas, float cx, float cy, float r, std::uint32_t rgb, float alpha = 1.0f) {
  canvas.beginPath();
  canvas.circle(cx, cy, r);
  canvas.fillColor(colourFromRgb(rgb, alpha));
  canvas.fill();
}

// Phase of `now` within a beat that started at `origin`, in 0..period.
double beatPhase(double now, double origin, double period) {
  double phase = std::fmod(now - origin, period);
  if (phase < 0) phase += period;
  return phase;
}

// Keeps the beat light at the same fraction of its cycle when the echo time changes.
void followEchoTime(EffectsPanelModel& panel, double now) {
  const double period = static_cast<double>(panel.values[3]) / 1000.0;
  if (period > 0 && panel.beatPeriod > 0 && period != panel.beatPeriod) {
    const double phase = beatPhase(now, panel.beatOrigin, panel.beatPeriod);
    panel.beatOrigin = now - (phase / panel.beatPeriod) * period;
  }
  panel.beatPeriod = period;
}

constexpr float kBeatGlowRadius = 9.6f;

void drawBeatLight(EffectsPanelModel& panel, Canvas& canvas, float y) {
  const bool lit = isBeatLit(panel, panel.host->nowSeconds());
  panel.beatLitShown = lit;
  const float s = panel.pixelScale, r = kBeatGlowRadius + 1.0f;
  panel.beatRect[0] = panel.originX + (kBeatLightX - r) * s;
  panel.beatRect[1] = panel.originY + (y - r) * s;
  panel.beatRect[2] = panel.beatRect[3] = 2.0f * r * s;
  if (lit) fillCircle(canvas, kBeatLightX, y, kBeatGlowRadius, kBeatLit, 0.28f);
  fillCircle(canvas, kBeatLightX, y, 5.76f, lit ? kBeatLit : kBeatDark);
}

void drawEchoSwitch(EffectsPanelModel& panel, Canvas& canvas, float cy) {
  const float a = panel.togglePosition(1, panel.host->nowSeconds());
  panel.switchShown = a;
  canvas.beginPath();
  canvas.roundedRect(35.987541f, cy - 12.8f + 0.7875449f, 56.024914f, 24.02491f, 12.012455f);
  canvas.strokeWidth(kThinLine);
  canvas.strokeColor(colourFromRgb(lerpColour(kMuted, kAccent, a)));
  canvas.stroke();
  fillCircle(canvas, 47.999996f + 32.0f * a, cy, 8.32f, lerpColour(kText, kAccent, a));
}

// The number shown inside a knob: whole milliseconds for time, a percentage otherwise.
int knobReading(int slot, float value) {
  if (slot == 3) return static_cast<int>(std::lround(value));
  return static_cast<int>(std::lround(static_cast<double>(value) * 100.0));
}

// One line of panel text centred on (x, y); draws nothing while the panel has no font.
void drawPanelLabel(EffectsPanelModel& panel, Canvas& canvas, float x, float y, const char* text, float size,
                    std::uint32_t rgb) {
  drawText(canvas, panel.font.handle, x, y, text, size, kAlignCenter, rgb);
}

}  // namespace

bool isBeatLit(const EffectsPanelModel& panel, double now) {
  const double period = static_cast<double>(panel.values[3]) / 1000.0;
  return panel.isEchoOn() && period > 0 && beatPhase(now, panel.beatOrigin, period) < std::min(0.5 * period, 0.08);
}

void arcPath(Canvas& canvas, float cx, float cy, float r, float startDegrees, float endDegrees, int segments) {
  canvas.beginPath();
  for (int i = 0; i <= segments; ++i) {
    const float fraction = static_cast<float>(i) / static_cast<float>(segments);
    const float theta = (fraction * (endDegrees - startDegrees) + startDegrees) * kDegrees;
    const float px = cx + r * std::cos(theta), py = cy + r * std::sin(theta);
    if (i == 0) {
      canvas.moveTo(px, py);
    } else {
      canvas.lineTo(px, py);
    }
  }
}

void drawPanelKnob(EffectsPanelModel&, Canvas& canvas, float cx, float cy, float normalised) {
  const float v = std::clamp(normalised, 0.0f, 1.0f);
  canvas.lineCap(1);
  canvas.strokeWidth(kThinLine);
  arcPath(canvas, cx, cy, kKnobRadius, 135.0f, 405.0f, 32);
  canvas.strokeColor(colourFromRgb(kTrack));
  canvas.stroke();
  if (v > 0.001f) {
    canvas.strokeWidth(kValueLine);
    arcPath(canvas, cx, cy, kKnobRadius, 135.0f, 135.0f + 270.0f * v, 32);
    canvas.strokeColor(colourFromRgb(kAccent));
    canvas.stroke();
  }
  const float theta = (135.0f + 270.0f * v) * kDegrees;
  canvas.beginPath();
  canvas.moveTo(cx + std::cos(theta) * 23.0f * kPointerUnit, cy + std::sin(theta) * 23.0f * kPointerUnit);
  canvas.lineTo(cx + std::cos(theta) * 38.0f * kPointerUnit, cy + std::sin(theta) * 38.0f * kPointerUnit);
  canvas.strokeWidth(kThinLine);
  canvas.strokeColor(colourFromRgb(kText));
  canvas.stroke();
}

void drawEffectsPanel(EffectsPanelModel& panel, Canvas& canvas, const float rect[4], UiLayer layer) {
  panel.originX = rect[0];
  panel.originY = rect[1];
  panel.pixelScale = rect[2] * 0.0078125f;
  const bool transformed = panel.originX != 0.0f || panel.originY != 0.0f || panel.pixelScale != 1.0f;
  if (transformed) {
    canvas.save();
    canvas.translate(panel.originX, panel.originY);
    canvas.scale(panel.pixelScale, panel.pixelScale);
  }
  createEmbeddedFont(panel.font, canvas, "CorvaPanel");
  if (layer != UiLayer::kChanging) {
    canvas.beginPath();
    canvas.rect(0, 0, kPanelDesignWidth, kPanelDesignHeight);
    canvas.fillColor(colourFromRgb(kBackground));
    canvas.fill();
  }
  if (layer == UiLayer::kStill) {
    if (transformed) canvas.restore();
    return;
  }

  followEchoTime(panel, panel.host->nowSeconds());

  const PanelLayout& layout = panelLayout(panel.newsShown);
  for (int slot = 0; slot < 4; ++slot) {
    const int param = kReverb + slot;
    const float base = layout.base(slot);
    const float cy = layout.centreY(slot);
    const bool isSwitch = kParamTable[param].isBool != 0;
    if (isSwitch) {
      drawEchoSwitch(panel, canvas, cy);
    } else {
      drawPanelKnob(panel, canvas, 64.0f, cy, toNormalised(kParamTable[param], panel.values[slot]));
      char reading[32];
      std::snprintf(reading, sizeof reading, "%d", knobReading(slot, panel.values[slot]));
      drawPanelLabel(panel, canvas, 64.0f, cy, reading, kValueSize, kText);
    }
    const char* caption = (slot == 3 && panel.tapHover) ? "Tap!" : kCaptions[slot];
    drawPanelLabel(panel, canvas, 64.0f, base + layout.caption, caption, kCaptionSize, kText);
    if (slot == 3) drawBeatLight(panel, canvas, base + layout.caption);
    const float valueY = base + layout.valueLine;
    if (isSwitch) {
      const float a = panel.togglePosition(1, panel.host->nowSeconds());
      drawPanelLabel(panel, canvas, 64.0f, valueY, panel.isEchoOn() ? "ON" : "OFF", kSmallSize,
                     lerpColour(kMuted, kAccent, a));
    } else if (kUnits[slot][0] != '\0') {
      drawPanelLabel(panel, canvas, 64.0f, valueY, kUnits[slot], kSmallSize, kMuted);
    }
  }

  if (panel.learnAvailable) {
    const float y = (layout.stripTop() + kPanelDesignHeight) / 2.0f;
    if (panel.learnArmed) {
      drawPanelLabel(panel, canvas, 38.4f, y, "MIDI", kSmallSize, kAccent);
      drawPanelLabel(panel, canvas, 92.16f, y, "RESET", kSmallSize, kText);
    } else {
      drawPanelLabel(panel, canvas, 64.0f, y, "MIDI", kSmallSize, kMuted);
    }
  }
  if (transformed) canvas.restore();
}

}  // namespace corva
