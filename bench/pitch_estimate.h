#pragma once
// Pitch of a rendered signal, from rising crossings of its mean with hysteresis.

#include <cstddef>
#include <vector>

namespace corva::bench {

struct PitchEstimate {
  double meanHz = 0.0;  // over the analysed span; 0 when no periodic signal was found
  double lowHz = 0.0;   // lowest and highest of the 50 ms windows that held a pitch
  double highHz = 0.0;
  double rms = 0.0;
};

// Analyses samples [begin, end) of a mono signal at the given rate.
PitchEstimate estimatePitch(const std::vector<float>& audio, std::size_t begin, std::size_t end, double sampleRate);

}  // namespace corva::bench
