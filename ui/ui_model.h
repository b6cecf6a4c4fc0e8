#pragma once
// The whole state of the instrument's interface, held by the plug-in for its whole
// life: the face, the effects panel, the shown news notice, the MIDI map and the
// MIDI-learn state, with the pointer dispatch that drives them.

#include <cstdint>

#include "model/host.h"
#include "model/midi_dispatch.h"
#include "model/midi_map.h"
#include "ui/effects_panel_model.h"
#include "ui/face_model.h"
#include "ui/font_state.h"
#include "ui/news_view.h"

namespace corva {

class UiModel : public UiParamValues {
 public:
  explicit UiModel(Host* host);

  // The interface's copy of parameter `paramId`: the effects panel keeps the effect
  // parameters, the face every other one.
  double uiParamValue(int paramId) const override;

  // A pointer went down at (x, y) editor pixels; true when the press was used.
  bool handlePointerDown(std::uint64_t pointerId, float x, float y);
  // The pointer moved; true when a value changed.
  bool handlePointerDrag(std::uint64_t pointerId, float x, float y);
  // The pointer went up: the face and the effects panel let go of what it held.
  void handlePointerUp(std::uint64_t pointerId);
  // Asks the host to let go of any momentary button that is down.
  void releaseMomentaryButtons();
  // Switches MIDI-learn mode on or off, with no target chosen.
  void setLearnArmed(bool armed);
  // Gives control `target` the MIDI source `source` (an empty mapping clears it), leaves
  // no target chosen while learn mode stays on, lets go of held buttons and saves the map.
  void learnSource(unsigned target, const MidiMapping& source);

  Host* host;
  FaceModel face;
  EffectsPanelModel effectsPanel;
  NewsView newsView;
  NewsRects newsRects = {};
  FontState newsFont;
  FontState learnFont;
  MidiMap midiMap;
  bool learnArmed = false;
  std::int32_t learnTarget = -1;
  bool learnBlinkShown = false;  // the blink phase the last drawing showed

 private:
  void saveMapAndRedraw();
};

}  // namespace corva
