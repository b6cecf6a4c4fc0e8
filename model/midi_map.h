#pragma once
// The MIDI map: which MIDI source (a note or a controller, on one channel or on any)
// drives each of the twelve parameters that MIDI can reach, and the short labels the
// learn overlay shows for them.

#include <cstdint>
#include <string>

#include "model/param_table.h"

namespace corva {

// Scoped, so that the short names cannot collide with other enumerations of the product.
enum class MidiSourceType : std::uint8_t { kNone = 0, kNote = 1, kCc = 2 };

// The channel byte of a source that answers on every MIDI channel.
inline constexpr std::uint8_t kAnyMidiChannel = 255;

struct MidiMapping {
  MidiSourceType type = MidiSourceType::kNone;
  std::uint8_t number = 0;                 // note or controller number, 0..127
  std::uint8_t channel = kAnyMidiChannel;  // 0..15 for MIDI channels 1..16, or 255
  bool operator==(const MidiMapping&) const = default;
};
static_assert(sizeof(MidiMapping) == 3);

inline constexpr int kNumMidiTargets = 12;

// The mappable parameters. The order is the slot order of a MidiMap and the line
// order of the map file, so it must never change.
inline constexpr ParamId kMidiTargets[kNumMidiTargets] = {kTrigger, kHold,   kCorvaBtn, kToneBtn,  kTone, kMode,
                                                          kSpeed,   kVolume, kReverb,   kFeedback, kTime, kEcho};

// One mapping per slot of kMidiTargets, stored contiguously in slot order.
// A default-constructed map has every slot unmapped; resetMidiMap gives the defaults.
struct MidiMap {
  MidiMapping slots[kNumMidiTargets];
  bool operator==(const MidiMap&) const = default;
};

enum class MidiTargetKind : std::uint8_t {
  kMomentary = 0,  // held while the source is held: toneBtn, corvaBtn, trigger
  kToggle = 1,     // flips on each press: hold, echo
  kStepped = 2,    // four positions: tone, mode, speed
  kContinuous = 3  // every other parameter
};

// Fills map with the default map: controllers on any channel for every target except
// the trigger, which any unclaimed note plays.
MidiMap& resetMidiMap(MidiMap& map);

// Gives targetId the source. A source other than kNone is first taken away from every
// other slot holding exactly the same type, number and channel byte. An id that is not
// a MIDI target changes nothing.
void assignMidiMapping(MidiMap& map, unsigned targetId, const MidiMapping& source);

// The parameter id whose slot holds the source, or -1. A slot on the message's exact
// channel wins over an any-channel slot wherever the two stand.
int findMidiTarget(const MidiMap& map, MidiSourceType type, std::uint8_t number, std::uint8_t channel);

MidiTargetKind midiTargetKind(unsigned targetId);

// The slot of targetId in kMidiTargets, or -1.
int midiTargetSlot(unsigned targetId);

// "CC64", "N36:10" (note 36 on MIDI channel 10), or "-" when unmapped or not a target.
std::string midiMappingLabel(const MidiMap& map, unsigned targetId);

}  // namespace corva
