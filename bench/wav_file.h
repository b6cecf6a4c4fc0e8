#pragma once
// Writes a mono signal as a two-channel 32-bit float WAV file.

#include <string>
#include <vector>

namespace corva::bench {

// Writes to a temporary file beside the target and renames it into place. Returns an
// empty string on success, else a message saying what failed.
std::string writeWav(const std::string& path, const std::vector<float>& mono, int sampleRate);

}  // namespace corva::bench
