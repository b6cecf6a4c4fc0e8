// Feeds arbitrary bytes to the map file reader: it must never crash, and whatever it
// reads must be a map it writes and reads back unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "model/midi_map_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  corva::MidiMap map;
  corva::parseMidiMap(map, std::string(reinterpret_cast<const char*>(data), size));
  corva::MidiMap again;
  corva::parseMidiMap(again, corva::formatMidiMap(map));
  if (!(again == map)) std::abort();
  return 0;
}
