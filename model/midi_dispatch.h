#pragma once
// Turns short MIDI messages into parameter writes through the MIDI map.

#include <cstdint>

#include "model/host.h"
#include "model/midi_map.h"

namespace corva {

// The interface's own copy of the parameter values (the values the editor shows).
// The interface model implements it; a MIDI toggle reads the current state from it
// each time, so dispatch keeps no state of its own.
class UiParamValues {
 public:
  virtual ~UiParamValues() = default;
  // The value of parameter `paramId` (a ParamId) in the parameter's own units.
  virtual double uiParamValue(int paramId) const = 0;
};

// Applies one short MIDI message. Note On/Off drive momentary and toggle targets (a
// note that no slot claims drives the trigger); Control Change drives any mapped
// target; every other message is ignored. Parameters change only through
// host.setParameter.
void dispatchMidiMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2, const MidiMap& map,
                         const UiParamValues& ui, Host& host);

// Flips a two-state parameter: 0 when it is at 0.5 or above, else 1.
void toggleMidiTarget(unsigned targetId, const UiParamValues& ui, Host& host);

}  // namespace corva
