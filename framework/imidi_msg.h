#pragma once
// One short MIDI message with the sample offset at which it applies in the coming block,
// and one system-exclusive message.

#include <algorithm>
#include <cstdint>

namespace iplug {

struct IMidiMsg {
  int mOffset = 0;
  std::uint8_t mStatus = 0;
  std::uint8_t mData1 = 0;
  std::uint8_t mData2 = 0;

  IMidiMsg() = default;
  IMidiMsg(int offset, std::uint8_t status, std::uint8_t data1 = 0, std::uint8_t data2 = 0)
      : mOffset(offset), mStatus(status), mData1(data1), mData2(data2) {}

  // The builders take values already in 0..127; out-of-range values are clamped and the
  // channel is kept to its four bits, so a message never carries a stray status bit.
  void MakeNoteOnMsg(int noteNumber, int velocity, int offset, int channel = 0) {
    Set(offset, 0x90, channel, noteNumber, velocity);
  }
  void MakeControlChangeMsg(int controller, int value, int offset, int channel = 0) {
    Set(offset, 0xB0, channel, controller, value);
  }

 private:
  void Set(int offset, int status, int channel, int d1, int d2) {
    mOffset = offset;
    mStatus = static_cast<std::uint8_t>(status | (channel & 0x0F));
    mData1 = static_cast<std::uint8_t>(std::clamp(d1, 0, 127));
    mData2 = static_cast<std::uint8_t>(std::clamp(d2, 0, 127));
  }
};

static_assert(sizeof(IMidiMsg) == 8, "a MIDI message is copied as one 8-byte unit");

struct SysExData {
  static constexpr int kMaxSize = 512;
  int mOffset = 0;
  int mSize = 0;
  std::uint8_t mData[kMaxSize] = {};
};

}  // namespace iplug
