#include "bench/pitch_estimate.h"

#include <algorithm>
#include <cmath>

namespace corva::bench {

namespace {

// Crossing times (in samples, interpolated) of rising passes through `mean`, armed only
// after the signal has gone below mean - band, so noise near the mean does not count.
std::vector<double> risingCrossings(const std::vector<float>& a, std::size_t begin, std::size_t end, double mean,
                                    double band) {
  std::vector<double> times;
  bool armed = false;
  for (std::size_t i = begin + 1; i < end; ++i) {
    const double prev = a[i - 1] - mean;
    const double cur = a[i] - mean;
    if (cur < -band) armed = true;
    if (armed && prev < 0.0 && cur >= 0.0) {
      times.push_back(static_cast<double>(i - 1) + prev / (prev - cur));
      armed = false;
    }
  }
  return times;
}

}  // namespace

PitchEstimate estimatePitch(const std::vector<float>& audio, std::size_t begin, std::size_t end, double rate) {
  PitchEstimate p;
  end = std::min(end, audio.size());
  if (end <= begin + 2) return p;
  double sum = 0.0;
  for (std::size_t i = begin; i < end; ++i) sum += audio[i];
  const double mean = sum / static_cast<double>(end - begin);
  double sq = 0.0;
  for (std::size_t i = begin; i < end; ++i) sq += (audio[i] - mean) * (audio[i] - mean);
  p.rms = std::sqrt(sq / static_cast<double>(end - begin));
  if (p.rms < 1e-4) return p;
  const std::vector<double> t = risingCrossings(audio, begin, end, mean, 0.3 * p.rms);
  if (t.size() < 3) return p;
  p.meanHz = rate * static_cast<double>(t.size() - 1) / (t.back() - t.front());

  const double window = 0.05 * rate;
  p.lowHz = 1e30;
  for (std::size_t first = 0; first < t.size();) {
    std::size_t last = first;
    while (last + 1 < t.size() && t[last + 1] - t[first] <= window) ++last;
    if (last >= first + 2) {
      const double hz = rate * static_cast<double>(last - first) / (t[last] - t[first]);
      p.lowHz = std::min(p.lowHz, hz);
      p.highHz = std::max(p.highHz, hz);
    }
    first = last + 1;
  }
  if (p.highHz == 0.0) p.lowHz = p.highHz = p.meanHz;
  return p;
}

}  // namespace corva::bench
