#include "model/midi_map_file.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "model/data_folder.h"

namespace corva {
namespace {

constexpr const char* kMidiMapFileName = "midi-map.txt";
constexpr const char* kHeader = "# Corva-1 MIDI map, v1\n";

// The C white-space characters, fixed here so that the process locale cannot change
// how a file reads.
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

std::vector<std::string_view> splitTokens(std::string_view line) {
  std::vector<std::string_view> tokens;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && isBlank(line[i])) ++i;
    const std::size_t start = i;
    while (i < line.size() && !isBlank(line[i])) ++i;
    if (i > start) tokens.push_back(line.substr(start, i - start));
  }
  return tokens;
}

// A whole base-10 token (an optional sign, then digits) within [lo, hi].
bool parseInt(std::string_view token, long lo, long hi, long& value) {
  const std::string s(token);
  char* end = nullptr;
  const long v = std::strtol(s.c_str(), &end, 10);
  if (end != s.c_str() + s.size() || end == s.c_str() || v < lo || v > hi) return false;
  value = v;
  return true;
}

int targetForKey(std::string_view key) {
  for (ParamId id : kMidiTargets) {
    if (key == kParamTable[id].key) return id;
  }
  return -1;
}

// One line without its line feed; false when it is empty or breaks the grammar.
bool parseLine(std::string_view line, int& target, MidiMapping& source) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const std::size_t hash = line.find('#');
  if (hash != std::string_view::npos) line = line.substr(0, hash);
  const std::vector<std::string_view> tokens = splitTokens(line);
  if (tokens.size() < 2) return false;
  target = targetForKey(tokens[0]);
  if (target < 0) return false;
  if (tokens[1] == "none") {
    source = MidiMapping{};
    return tokens.size() == 2;
  }
  const bool isCc = tokens[1] == "cc";
  if (!(isCc || tokens[1] == "note") || tokens.size() != 4) return false;
  long number = 0;
  if (!parseInt(tokens[2], 0, isCc ? 119 : 127, number)) return false;
  long channel = kAnyMidiChannel;
  if (tokens[3] != "any") {
    if (!parseInt(tokens[3], 1, 16, channel)) return false;
    channel -= 1;
  }
  if (!isCc) {
    const MidiTargetKind kind = midiTargetKind(static_cast<unsigned>(target));
    if (kind != MidiTargetKind::kMomentary && kind != MidiTargetKind::kToggle) return false;
  }
  source = MidiMapping{isCc ? MidiSourceType::kCc : MidiSourceType::kNote, static_cast<std::uint8_t>(number),
                       static_cast<std::uint8_t>(channel)};
  return true;
}

}  // namespace

std::string formatMidiMap(const MidiMap& map) {
  std::string text = kHeader;
  for (int slot = 0; slot < kNumMidiTargets; ++slot) {
    const MidiMapping& m = map.slots[slot];
    char tail[32];
    if (m.type == MidiSourceType::kNone) {
      std::snprintf(tail, sizeof tail, " none\n");
    } else {
      const char* word = m.type == MidiSourceType::kCc ? "cc" : "note";
      if (m.channel == kAnyMidiChannel) {
        std::snprintf(tail, sizeof tail, " %s %u any\n", word, unsigned{m.number});
      } else {
        std::snprintf(tail, sizeof tail, " %s %u %d\n", word, unsigned{m.number}, m.channel + 1);
      }
    }
    text += kParamTable[kMidiTargets[slot]].key;
    text += tail;
  }
  return text;
}

MidiMap& parseMidiMap(MidiMap& out, const std::string& text) {
  resetMidiMap(out);
  std::string_view rest(text);
  while (!rest.empty()) {
    const std::size_t lf = rest.find('\n');
    const std::string_view line = rest.substr(0, lf);
    rest = lf == std::string_view::npos ? std::string_view{} : rest.substr(lf + 1);
    int target = -1;
    MidiMapping source;
    if (parseLine(line, target, source)) {
      assignMidiMapping(out, static_cast<unsigned>(target), source);
    }
  }
  return out;
}

std::string midiMapPath(const std::string& folder) { return folder + pathSeparator() + kMidiMapFileName; }

bool loadMidiMapText(const std::string& folder, std::string& text) {
  return readWholeFile(midiMapPath(folder), text) == kReadOk;
}

bool saveMidiMapText(const std::string& folder, const std::string& text) {
  if (!makeDirs(folder)) return false;
  return writeFileAtomic(midiMapPath(folder), text);
}

MidiMap loadMidiMap() {
  MidiMap map;
  std::string text;
  if (loadMidiMapText(dataFolder(), text)) {
    parseMidiMap(map, text);
  } else {
    resetMidiMap(map);
  }
  return map;
}

}  // namespace corva
