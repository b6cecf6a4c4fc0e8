#include "ui/learn_overlay.h"

#include <cmath>
#include <cstring>

#include "model/midi_map.h"
#include "ui/colour.h"
#include "ui/effects_panel_model.h"
#include "ui/face_model.h"
#include "ui/text_draw.h"

namespace corva {
namespace {

constexpr float kRingRadius = 38.4f;
constexpr float kLabelSize = 10.88f;
constexpr std::uint32_t kViolet = 0x9D5CFF;
constexpr std::uint32_t kBright = 0xC9BDB0;
constexpr std::uint32_t kLabel = 0xA8A099;
constexpr std::uint32_t kPill = 0x1C1C1C;

void drawPill(Canvas& canvas, int font, float x, float ringBottom, float scale, const char* label, bool selected) {
  const float size = kLabelSize * scale;
  const float textY = ringBottom + size;
  const float width = 0.6f * size * static_cast<float>(std::strlen(label)) + size;
  canvas.beginPath();
  canvas.roundedRect(x - width / 2.0f, textY - 0.7f * size, width, 1.4f * size, 0.3f * size);
  canvas.fillColor(colourFromRgb(kPill));
  canvas.fill();
  drawText(canvas, font, x, textY, label, size, kAlignCenter, selected ? kBright : kLabel);
}

}  // namespace

bool isLearnBlinkOn(double nowSeconds) {
  const double twice = 2.0 * nowSeconds;
  return (twice - std::trunc(twice)) < 0.5;
}

void drawLearnOverlay(FontState& learnFont, Canvas& canvas, const float faceRect[4], const float panelRect[4],
                      int compactPanel, std::uint8_t panelOffset, bool learnArmed, int learnTarget, const MidiMap& map,
                      double nowSeconds) {
  if (!learnArmed) return;
  createEmbeddedFont(learnFont, canvas, "CorvaLearn");
  const float faceScale = faceRect[2] / kFaceDesignWidth;
  const float panelScale = panelRect[2] * 0.0078125f;
  const bool blinkOn = isLearnBlinkOn(nowSeconds);

  for (const auto id : kMidiTargets) {
    const int param = static_cast<int>(id);
    float cx = 0, cy = 0, scale, x, y;
    if (effectSlot(param) >= 0) {
      effectsKnobCentre(param, cx, cy, compactPanel != 0, panelOffset != 0);
      scale = panelScale;
      x = panelRect[0] + cx * scale;
      y = panelRect[1] + cy * scale;
    } else {
      faceControlCentre(param, cx, cy);
      scale = faceScale;
      x = faceRect[0] + cx * scale;
      y = faceRect[1] + cy * scale;
    }
    const bool selected = learnTarget == param;
    canvas.beginPath();
    canvas.circle(x, y, kRingRadius * scale);
    canvas.strokeColor(colourFromRgb(selected && blinkOn ? kBright : kViolet));
    canvas.strokeWidth((selected ? 2.5f : 1.5f) * scale);
    canvas.stroke();
    if (learnFont.handle >= 0) {
      const auto label = midiMappingLabel(map, static_cast<unsigned>(param));
      drawPill(canvas, learnFont.handle, x, y + kRingRadius * scale, scale, label.c_str(), selected);
    }
  }
}

}  // namespace corva
