#pragma once
// The MIDI map file "midi-map.txt" in the data folder, shared by the standalone
// program and the plug-in: a header comment, then one line per target in slot order,
// e.g. "hold cc 64 any", "trigger note 36 10", "time none".

#include <string>

#include "model/midi_map.h"

namespace corva {

// The file text for map; lines end in a single line feed.
std::string formatMidiMap(const MidiMap& map);

// Reads text into out, starting from the default map. Each valid line assigns its
// target (taking the source away from any other target that held it); a line that
// breaks the grammar is skipped and the other lines still count.
MidiMap& parseMidiMap(MidiMap& out, const std::string& text);

// folder + "/" + "midi-map.txt".
std::string midiMapPath(const std::string& folder);

// True when the file was read completely (text is cleared first).
[[nodiscard]] bool loadMidiMapText(const std::string& folder, std::string& text);

// Creates folder and replaces the file atomically; false when either fails, in which
// case the file on disk is left as it was.
[[nodiscard]] bool saveMidiMapText(const std::string& folder, const std::string& text);

// The map stored in the data folder, or the default map when the file is missing,
// unreadable or too large.
MidiMap loadMidiMap();

// Saving the map from the plug-in: ok = saveMidiMapText(dataFolder(), formatMidiMap(map)).

}  // namespace corva
