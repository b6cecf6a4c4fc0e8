#include "app/host_settings.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <iterator>

#include "platform/profile_file.h"

namespace corva::app {

namespace {

constexpr std::size_t kNameBuffer = 100;

std::uint32_t readNumber(const platform::ProfileFile& f, const char* section, const char* key, std::uint32_t fallback) {
  // Numbers are read the profile way, as a 32-bit word: "-5" becomes 4294967291.
  return static_cast<std::uint32_t>(f.GetInt(section, key, fallback));
}

// A name as the file keeps it: what reading it back gives.
std::string nameText(const std::string& name) { return platform::CutText(name, kNameBuffer - 1); }

std::string unsignedText(std::uint32_t v) { return std::to_string(v); }
std::string signedText(std::uint32_t v) { return std::to_string(static_cast<std::int32_t>(v)); }

template <class T>
bool repair(T& value, const T& fallback, bool ok) {
  if (ok) return false;
  value = fallback;
  return true;
}

}  // namespace

int FindStoredName(const std::vector<std::string>& names, const std::string& stored) {
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names[i] == stored) return static_cast<int>(i);
  for (std::size_t i = 0; i < names.size(); ++i)
    if (nameText(names[i]) == stored) return static_cast<int>(i);
  return -1;
}

bool SameAudioSettings(const HostSettings& a, const HostSettings& b) {
  return a.driver == b.driver && a.audioInDev == b.audioInDev && a.audioOutDev == b.audioOutDev &&
         a.sampleRate == b.sampleRate && a.bufferSize == b.bufferSize && a.audioInChanL == b.audioInChanL &&
         a.audioInChanR == b.audioInChanR && a.audioOutChanL == b.audioOutChanL && a.audioOutChanR == b.audioOutChanR;
}

bool SameMidiSettings(const HostSettings& a, const HostSettings& b) {
  return a.midiInDev == b.midiInDev && a.midiOutDev == b.midiOutDev && a.midiInChan == b.midiInChan &&
         a.midiOutChan == b.midiOutChan;
}

bool SameSettings(const HostSettings& a, const HostSettings& b) {
  return SameAudioSettings(a, b) && SameMidiSettings(a, b);
}

void ReadSettings(const platform::ProfileFile& f, HostSettings& s) {
  s.driver = readNumber(f, "audio", "driver", 0);
  s.audioInDev = f.GetString("audio", "indev", "Built-in Input", kNameBuffer);
  s.audioOutDev = f.GetString("audio", "outdev", "Built-in Output", kNameBuffer);
  s.audioInChanL = readNumber(f, "audio", "in1", 1);
  s.audioInChanR = readNumber(f, "audio", "in2", 2);
  s.audioOutChanL = readNumber(f, "audio", "out1", 1);
  s.audioOutChanR = readNumber(f, "audio", "out2", 2);
  s.bufferSize = readNumber(f, "audio", "buffer", 512);
  s.sampleRate = readNumber(f, "audio", "sr", 44100);
  s.midiInDev = f.GetString("midi", "indev", "no input", kNameBuffer);
  s.midiOutDev = f.GetString("midi", "outdev", "no output", kNameBuffer);
  s.midiInChan = readNumber(f, "midi", "inchan", 0);
  s.midiOutChan = readNumber(f, "midi", "outchan", 0);
  s.spaceTrigger = readNumber(f, "corva", "spacetrig", 0);
}

void WriteSettings(platform::ProfileFile& f, const HostSettings& s) {
  f.SetString("audio", "driver", unsignedText(s.driver));
  f.SetString("audio", "indev", nameText(s.audioInDev));
  f.SetString("audio", "outdev", nameText(s.audioOutDev));
  f.SetString("audio", "in1", unsignedText(s.audioInChanL));
  f.SetString("audio", "in2", unsignedText(s.audioInChanR));
  f.SetString("audio", "out1", unsignedText(s.audioOutChanL));
  f.SetString("audio", "out2", unsignedText(s.audioOutChanR));
  f.SetString("audio", "buffer", signedText(s.bufferSize));
  f.SetString("audio", "sr", signedText(s.sampleRate));
  f.SetString("midi", "indev", nameText(s.midiInDev));
  f.SetString("midi", "outdev", nameText(s.midiOutDev));
  f.SetString("midi", "inchan", unsignedText(s.midiInChan));
  f.SetString("midi", "outchan", unsignedText(s.midiOutChan));
  f.SetString("corva", "spacetrig", unsignedText(s.spaceTrigger));
}

bool RepairSettings(HostSettings& s) {
  const HostSettings d;
  auto channel = [](std::uint32_t c) { return c >= 1 && c <= 256; };
  bool changed = false;
  changed |= repair(s.driver, d.driver, s.driver <= 1);
  changed |= repair(s.sampleRate, d.sampleRate, s.sampleRate >= 8000 && s.sampleRate <= 384000);
  changed |= repair(
      s.bufferSize, d.bufferSize,
      std::find(std::begin(kBufferSizes), std::end(kBufferSizes), s.bufferSize) != std::end(kBufferSizes));
  changed |= repair(s.midiInChan, d.midiInChan, s.midiInChan <= 16);
  changed |= repair(s.midiOutChan, d.midiOutChan, s.midiOutChan <= 16);
  changed |= repair(s.audioInChanL, d.audioInChanL, channel(s.audioInChanL));
  changed |= repair(s.audioInChanR, d.audioInChanR, channel(s.audioInChanR));
  changed |= repair(s.audioOutChanL, d.audioOutChanL, channel(s.audioOutChanL));
  changed |= repair(s.audioOutChanR, d.audioOutChanR, channel(s.audioOutChanR));
  changed |= repair(s.spaceTrigger, d.spaceTrigger, s.spaceTrigger <= 1);
  return changed;
}

}  // namespace corva::app
