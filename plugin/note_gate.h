#pragma once
// Notes that play the trigger, decided on the audio thread from a copy of the MIDI map
// and the MIDI-learn state that the interface thread publishes, so that such notes open
// and close the engine's gate at their own sample offsets rather than at the next idle
// tick.

#include <array>
#include <atomic>
#include <cstdint>

#include "model/midi_map.h"

namespace corva {

// Which (channel, note) pairs the MIDI map sends to the trigger: a note that no slot
// claims, or the trigger's own note. Written by the interface thread, read by the audio
// thread without a lock; each lookup is one atomic load.
class NoteGateRouting {
 public:
  // `capturingNotes`: MIDI learn waits for a note for a target that takes one. Notes then
  // go the idle path only, so that learn can take them without their sounding.
  void publish(const MidiMap& map, bool capturingNotes);

  // Audio thread. True when the short message is a Note On or Note Off that opens or
  // closes the gate; `on` tells which.
  bool gateFor(std::uint8_t status, std::uint8_t note, std::uint8_t velocity, bool& on) const;

 private:
  static constexpr int kPairs = 16 * 128;
  std::array<std::atomic<std::uint64_t>, kPairs / 64> mRouted{};
  std::atomic<bool> mEnabled{false};
  // What was last published, so that an unchanged state is not published again.
  MidiMap mPublishedMap{};
  bool mPublishedCapturing = true;
  bool mPublished = false;
};

// Gate changes of one block, in arrival order, each at its sample offset. Audio thread
// only. When more arrive than it holds, the last one is replaced, so the gate still
// ends in the state the last message asked for.
struct GateEvents {
  static constexpr int kCapacity = 64;
  struct Event {
    std::int32_t offset;
    bool on;
  };
  void add(std::int32_t offset, bool on);
  std::array<Event, kCapacity> events{};
  int count = 0;
};

}  // namespace corva
