#pragma once
// The standalone wrapper's queue of short MIDI messages from the MIDI thread to the audio
// thread: a single-producer, single-consumer queue that never loses a release. When the
// queue is full, a note-off (or a note-on of velocity 0) and an all-notes-off are kept as
// flags, one per note and channel, and delivered after everything queued before them;
// every other message that does not fit is dropped. Until the kept releases have been
// taken, later messages are not queued either (releases are flagged, others dropped), so
// nothing overtakes a release it followed. Push and Pop take no lock and allocate nothing.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "framework/imidi_msg.h"
#include "framework/spsc_queue.h"

namespace iplug {

class MidiQueue {
 public:
  explicit MidiQueue(std::size_t capacity) : mQueue(capacity) {}
  MidiQueue(const MidiQueue&) = delete;
  MidiQueue& operator=(const MidiQueue&) = delete;

  // Producer side. False when the message was dropped (never for a release).
  [[nodiscard]] bool Push(const IMidiMsg& msg) {
    const int release = ReleaseBit(msg);
    if (mKeeping) {
      if (Kept()) {
        if (release >= 0) Keep(release);
        return release >= 0;
      }
      mKeeping = false;
    }
    if (mQueue.Push(msg)) return true;
    if (release < 0) return false;
    Keep(release);
    mKeeping = true;
    return true;
  }

  // Consumer side: the queued messages in order, then the kept releases.
  bool Pop(IMidiMsg& msg) {
    if (mQueue.Pop(msg)) return true;
    for (std::size_t w = 0; w < kWords; ++w) {
      const std::uint64_t bits = mKept[w].load(std::memory_order_acquire);
      if (bits == 0) continue;
      const std::uint64_t lowest = bits & (~bits + 1);
      mKept[w].fetch_and(~lowest, std::memory_order_acq_rel);
      int bit = static_cast<int>(w * 64);
      for (std::uint64_t b = lowest; b > 1; b >>= 1) ++bit;
      const int channel = bit / kPerChannel, index = bit % kPerChannel;
      msg = index < 128 ? IMidiMsg(0, static_cast<std::uint8_t>(0x80 | channel), static_cast<std::uint8_t>(index), 0)
                        : IMidiMsg(0, static_cast<std::uint8_t>(0xB0 | channel), kAllNotesOff, 0);
      return true;
    }
    return false;
  }

 private:
  static constexpr std::uint8_t kAllNotesOff = 123;
  // Per channel: 128 note-off flags and one all-notes-off flag (of 192 bits, three words).
  static constexpr int kPerChannel = 192;
  static constexpr std::size_t kWords = 16 * kPerChannel / 64;

  // The flag a release is kept in, or -1 for any other message.
  static int ReleaseBit(const IMidiMsg& m) {
    const int kind = m.mStatus & 0xF0, channel = m.mStatus & 0x0F;
    if (kind == 0x80 || (kind == 0x90 && m.mData2 == 0)) return channel * kPerChannel + (m.mData1 & 0x7F);
    if (kind == 0xB0 && m.mData1 == kAllNotesOff) return channel * kPerChannel + 128;
    return -1;
  }
  void Keep(int bit) {
    mKept[static_cast<std::size_t>(bit) / 64].fetch_or(std::uint64_t{1} << (bit % 64), std::memory_order_acq_rel);
  }
  bool Kept() const {
    for (const auto& w : mKept)
      if (w.load(std::memory_order_acquire) != 0) return true;
    return false;
  }

  IPlugQueue<IMidiMsg> mQueue;
  std::array<std::atomic<std::uint64_t>, kWords> mKept{};
  bool mKeeping = false;  // producer only: releases are waiting, queue nothing new
};

}  // namespace iplug
