#include "model/midi_dispatch.h"

#include <algorithm>

#include "model/value_map.h"

namespace corva {
namespace {

constexpr std::uint8_t kNoteOff = 0x80;
constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kControlChange = 0xB0;

void dispatchNote(int target, bool press, const UiParamValues& ui, Host& host) {
  switch (midiTargetKind(static_cast<unsigned>(target))) {
    case MidiTargetKind::kMomentary:
      host.setParameter(target, press ? 1.f : 0.f);
      break;
    case MidiTargetKind::kToggle:
      if (press) toggleMidiTarget(static_cast<unsigned>(target), ui, host);
      break;
    case MidiTargetKind::kStepped:
    case MidiTargetKind::kContinuous:
      break;
  }
}

// A controller value 0..127 spread over the parameter's range; logarithmic
// parameters (the echo time) sweep evenly in ratio rather than in milliseconds.
float continuousValue(int target, std::uint8_t value) {
  // A data byte above 127 is malformed; it must not push the value past the maximum.
  const float t = static_cast<float>(std::min<int>(value, 127)) / 127.f;
  return fromNormalised(kParamTable[target], t);
}

void dispatchControl(int target, std::uint8_t value, const UiParamValues& ui, Host& host) {
  switch (midiTargetKind(static_cast<unsigned>(target))) {
    case MidiTargetKind::kMomentary:
      host.setParameter(target, value >= 64 ? 1.f : 0.f);
      break;
    case MidiTargetKind::kToggle:
      // A switch pedal sends 127 then 0: the target flips once per press.
      if (value >= 64) toggleMidiTarget(static_cast<unsigned>(target), ui, host);
      break;
    case MidiTargetKind::kStepped:
      host.setParameter(target, static_cast<float>(std::min(value >> 5, 3)));
      break;
    case MidiTargetKind::kContinuous:
      host.setParameter(target, continuousValue(target, value));
      break;
  }
}

}  // namespace

void dispatchMidiMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2, const MidiMap& map,
                         const UiParamValues& ui, Host& host) {
  const std::uint8_t kind = status & 0xF0;
  const std::uint8_t channel = status & 0x0F;
  if (kind == kNoteOn || kind == kNoteOff) {
    const bool press = kind == kNoteOn && data2 != 0;
    int target = findMidiTarget(map, MidiSourceType::kNote, data1, channel);
    if (target < 0) target = kTrigger;
    dispatchNote(target, press, ui, host);
  } else if (kind == kControlChange) {
    const int target = findMidiTarget(map, MidiSourceType::kCc, data1, channel);
    if (target >= 0) dispatchControl(target, data2, ui, host);
  }
}

void toggleMidiTarget(unsigned targetId, const UiParamValues& ui, Host& host) {
  const int id = static_cast<int>(targetId);
  host.setParameter(id, ui.uiParamValue(id) >= 0.5 ? 0.f : 1.f);
}

}  // namespace corva
