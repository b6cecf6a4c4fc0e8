#pragma once
// The standalone program's device settings and its one option, and how they are kept in
// settings.ini.

#include <cstdint>
#include <string>
#include <vector>

namespace platform {
class ProfileFile;
}

namespace corva::app {

struct HostSettings {
  std::string audioInDev = "Default Device";
  std::string audioOutDev = "Default Device";
  std::string midiInDev = "off";
  std::string midiOutDev = "off";
  std::uint32_t driver = 0;  // 0 PulseAudio, 1 JACK
  std::uint32_t sampleRate = 44100;
  std::uint32_t bufferSize = 512;
  std::uint32_t midiInChan = 0;  // 0 "all", 1..16 a channel
  std::uint32_t midiOutChan = 0;
  std::uint32_t audioInChanL = 1;
  std::uint32_t audioInChanR = 2;
  std::uint32_t audioOutChanL = 1;
  std::uint32_t audioOutChanR = 2;
  std::uint32_t spaceTrigger = 0;  // 1: the space bar plays the trigger
};

// Every field but the space-bar option.
bool SameSettings(const HostSettings& a, const HostSettings& b);
// Driver, audio devices, rate, buffer size and the four channel numbers.
bool SameAudioSettings(const HostSettings& a, const HostSettings& b);
// MIDI devices and channels.
bool SameMidiSettings(const HostSettings& a, const HostSettings& b);

// The buffer sizes offered to the user, in frames.
inline constexpr std::uint32_t kBufferSizes[] = {32, 64, 96, 128, 192, 256, 512, 1024, 2048, 4096, 8192};

// Reads every key; a missing key takes its missing-key value. Names are cut to at most
// 99 bytes, never inside a character.
void ReadSettings(const platform::ProfileFile& file, HostSettings& s);
// Writes every key in its order, names cut as reading cuts them, so that reading the
// file back gives the same settings.
void WriteSettings(platform::ProfileFile& file, const HostSettings& s);
// The index in `names` of the device or port a stored name means: the one of that exact
// name, else the first whose name the file would keep as the stored one (a name longer
// than the file keeps comes back cut); -1 when none is.
int FindStoredName(const std::vector<std::string>& names, const std::string& stored);
// Replaces each value outside its list or range by the record default; true when any was.
bool RepairSettings(HostSettings& s);

}  // namespace corva::app
