#include "model/midi_map.h"

#include <cstdio>

namespace corva {

MidiMap& resetMidiMap(MidiMap& map) {
  map = MidiMap{};
  struct Default {
    ParamId target;
    std::uint8_t cc;
  };
  static constexpr Default kDefaults[] = {{kHold, 64},     {kCorvaBtn, 85}, {kToneBtn, 86}, {kTone, 16},
                                          {kMode, 17},     {kSpeed, 18},    {kVolume, 19},  {kReverb, 20},
                                          {kFeedback, 21}, {kTime, 22},     {kEcho, 87}};
  for (const Default& d : kDefaults) {
    assignMidiMapping(map, d.target, MidiMapping{MidiSourceType::kCc, d.cc, kAnyMidiChannel});
  }
  return map;
}

void assignMidiMapping(MidiMap& map, unsigned targetId, const MidiMapping& source) {
  const int slot = midiTargetSlot(targetId);
  if (slot < 0) return;
  if (source.type != MidiSourceType::kNone) {
    for (int j = 0; j < kNumMidiTargets; ++j) {
      if (j != slot && map.slots[j] == source) map.slots[j] = MidiMapping{};
    }
  }
  map.slots[slot] = source;
}

int findMidiTarget(const MidiMap& map, MidiSourceType type, std::uint8_t number, std::uint8_t channel) {
  int anyChannel = -1;
  for (int i = 0; i < kNumMidiTargets; ++i) {
    const MidiMapping& m = map.slots[i];
    if (m.type != type || m.number != number) continue;
    if (m.channel == channel) return kMidiTargets[i];
    if (m.channel == kAnyMidiChannel && anyChannel < 0) anyChannel = kMidiTargets[i];
  }
  return anyChannel;
}

MidiTargetKind midiTargetKind(unsigned targetId) {
  switch (targetId) {
    case kToneBtn:
    case kCorvaBtn:
    case kTrigger:
      return MidiTargetKind::kMomentary;
    case kHold:
    case kEcho:
      return MidiTargetKind::kToggle;
    case kTone:
    case kMode:
    case kSpeed:
      return MidiTargetKind::kStepped;
    default:
      return MidiTargetKind::kContinuous;
  }
}

int midiTargetSlot(unsigned targetId) {
  for (int i = 0; i < kNumMidiTargets; ++i) {
    if (static_cast<unsigned>(kMidiTargets[i]) == targetId) return i;
  }
  return -1;
}

std::string midiMappingLabel(const MidiMap& map, unsigned targetId) {
  const int slot = midiTargetSlot(targetId);
  if (slot < 0 || map.slots[slot].type == MidiSourceType::kNone) return "-";
  const MidiMapping& m = map.slots[slot];
  const char* prefix = m.type == MidiSourceType::kCc ? "CC" : "N";
  char label[16];
  if (m.channel == kAnyMidiChannel) {
    std::snprintf(label, sizeof label, "%s%u", prefix, unsigned{m.number});
  } else {
    std::snprintf(label, sizeof label, "%s%u:%d", prefix, unsigned{m.number}, m.channel + 1);
  }
  return label;
}

}  // namespace corva
