#pragma once
// State and pointer logic of the effects panel: the column right of the face with the
// reverb knob, the echo switch, the feedback and time knobs and, at the bottom, the
// MIDI-learn buttons. The panel never draws; drawEffectsPanel draws it from this model
// and records where it was drawn, which the hit tests use to map pixels back.

#include <cstdint>

#include "ui/font_state.h"

namespace corva {

class Host;

// Panel design size: the panel is laid out on 128 x 573.44 units.
inline constexpr float kPanelDesignWidth = 128.0f;
inline constexpr float kPanelDesignHeight = 573.44f;

// Slot 0..3 of an effect parameter (reverb, echo, feedback, time), or -1.
int effectSlot(int index);

// Vertical layout of the four controls; the compact variant leaves room for a news notice.
struct PanelLayout {
  float pitch;       // P: distance between controls, before the 6.4 design factor
  float extra;       // E: shift of every control downwards, before the 6.4 design factor
  float knobOffset;  // K: control centre relative to the slot base
  float caption;     // C: caption line relative to the slot base
  float valueLine;   // V: value line relative to the slot base

  float base(int slot) const { return ((static_cast<float>(slot) + 0.5f) * pitch + extra) * 6.4f; }
  float centreY(int slot) const { return base(slot) + knobOffset; }
  // Top of the button strip, which reaches down to the panel's bottom edge.
  float stripTop() const { return base(3) + valueLine + 3.2043886f; }
};

const PanelLayout& panelLayout(bool newsShown);

// Centre of effect control 10..13 in panel units; false for any other index.
bool effectsKnobCentre(int index, float& x, float& y, bool compact, bool shifted);

struct PanelPointerSlot {
  std::uint64_t pointerId = 0;
  std::int32_t param = -1;  // parameter held; -1 = slot free
  bool isKnob = false;
  float pressY = 0;           // pixels
  float pressNormalised = 0;  // 0..1
  double pressTime = 0;       // clock seconds, knobs only
  float maxTravel = 0;        // pixels
};

class EffectsPanelModel {
 public:
  explicit EffectsPanelModel(Host* host);

  void setValue(int index, float value);
  float value(int index) const;
  bool isEchoOn() const;
  bool isPressAnimating() const;

  int hitTest(float x, float y) const;
  // 0 none, 1 the "MIDI" button, 2 the "RESET" button.
  int hitTestButtons(float x, float y) const;

  bool pressControl(std::uint64_t pointerId, float x, float y);
  bool dragControl(std::uint64_t pointerId, float x, float y);
  void releaseControl(std::uint64_t pointerId);
  bool nudgeControl(float x, float y, float delta, bool fine);
  bool updateTapHover(float x, float y);
  bool clearTapHover();

  // Drawn position of a switch, 0 (off) to 1 (on), gliding after a press.
  float togglePosition(int slot, double now) const;

  Host* host;
  float originX = 0, originY = 0;
  float pixelScale = 1;
  float values[4] = {0.0f, 0.0f, 0.35f, 300.0f};
  double pressTimes[4] = {-1e8, -1e8, -1e8, -1e8};
  float animStart[4] = {0, 0, 0, 0};
  bool learnAvailable = false;
  bool learnArmed = false;
  bool newsShown = false;
  bool tapHover = false;
  double beatOrigin = 0;
  double beatPeriod = -1;
  // What the last drawing showed of the animated parts: the beat light lit or not and
  // the echo switch's position; and where the beat light is, {x, y, w, h} in pixels.
  bool beatLitShown = false;
  float switchShown = 0;
  float beatRect[4] = {0, 0, 0, 0};
  FontState font;
  PanelPointerSlot pointers[5];
  double tapTimes[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  std::int32_t tapIndex = 0;
  std::int32_t tapCount = 0;

 private:
  PanelPointerSlot* slotOf(std::uint64_t pointerId);
  bool heldByPointer(int param) const;
  void registerTap(double pressTime);
};

}  // namespace corva
