#include "plugin/note_gate.h"

namespace corva {

void NoteGateRouting::publish(const MidiMap& map, bool capturingNotes) {
  if (mPublished && capturingNotes == mPublishedCapturing && map == mPublishedMap) return;
  mPublished = true;
  mPublishedMap = map;
  mPublishedCapturing = capturingNotes;
  // Disabled first, so that a half-written table is never read as a whole one.
  mEnabled.store(false, std::memory_order_release);
  if (capturingNotes) return;
  for (int word = 0; word < kPairs / 64; ++word) {
    std::uint64_t bits = 0;
    for (int bit = 0; bit < 64; ++bit) {
      const int pair = word * 64 + bit;
      const int target = findMidiTarget(map, MidiSourceType::kNote, static_cast<std::uint8_t>(pair % 128),
                                        static_cast<std::uint8_t>(pair / 128));
      if (target < 0 || target == kTrigger) bits |= std::uint64_t{1} << bit;
    }
    mRouted[static_cast<std::size_t>(word)].store(bits, std::memory_order_relaxed);
  }
  mEnabled.store(true, std::memory_order_release);
}

bool NoteGateRouting::gateFor(std::uint8_t status, std::uint8_t note, std::uint8_t velocity, bool& on) const {
  const std::uint8_t kind = status & 0xF0;
  if (kind != 0x90 && kind != 0x80) return false;
  if (!mEnabled.load(std::memory_order_acquire)) return false;
  // A note number past 127 matches no slot, so the dispatch plays the trigger with it.
  if (note < 128) {
    const int pair = (status & 0x0F) * 128 + note;
    const std::uint64_t bits = mRouted[static_cast<std::size_t>(pair / 64)].load(std::memory_order_relaxed);
    if (!((bits >> (pair % 64)) & 1u)) return false;
  }
  // A Note On with velocity 0 is a release, as in the dispatch.
  on = kind == 0x90 && velocity != 0;
  return true;
}

void GateEvents::add(std::int32_t offset, bool on) {
  if (count == kCapacity) {
    events[kCapacity - 1] = {offset, on};
    return;
  }
  events[static_cast<std::size_t>(count++)] = {offset, on};
}

}  // namespace corva
