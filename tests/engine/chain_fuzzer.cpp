// Drives the effects chain with arbitrary samples (NaN, infinities, huge
// values), parameter changes, resets and block shapes, and stops on any
// output sample that is not finite, exceeds the ceiling, or differs between
// channels.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/effects_chain.h"

namespace {

struct Reader {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  bool more() const { return at < size; }
  uint8_t byte() { return at < size ? data[at++] : 0; }
  float sample() {
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) bits = (bits << 8) | byte();
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
  }
};

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "effects chain: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const double kRates[8] = {1.0, 800.0, 8000.0, 22050.0, 44100.0, 48000.0, 96000.0, 192000.0};
  Reader in{data, size};
  corva::EffectsChain chain;
  corva::prepareEffects(chain, kRates[in.byte() % 8]);
  std::vector<float> a(512), b(512);
  while (in.more()) {
    const uint8_t op = in.byte();
    if (op < 16) {
      corva::prepareEffects(chain, kRates[op % 8]);
    } else if (op < 64) {
      chain.echoOn = (op & 1) != 0;
      chain.echoFeedback = in.sample();
      chain.echoTimeMs = in.sample();
      chain.reverbAmount = in.sample();
      corva::setEchoParams(chain.echo, chain.echoOn, chain.echoFeedback, chain.echoTimeMs);
      corva::setReverbAmount(chain.reverb, chain.reverbAmount);
    } else {
      // A block: a few raw samples, repeated with a gain to reach any length.
      const int frames = 1 + (in.byte() % 512);
      const float gain = static_cast<float>(op - 63);
      float seed[8];
      for (float& s : seed) s = in.sample();
      for (int i = 0; i < frames; ++i) a[static_cast<size_t>(i)] = seed[i % 8] * (i % 2 ? gain : 1.0f);
      float* outs[2] = {a.data(), b.data()};
      corva::processEffects(chain, outs, 2, frames);
      for (int i = 0; i < frames; ++i) {
        const float v = a[static_cast<size_t>(i)];
        check(std::isfinite(v), "non-finite output");
        check(std::fabs(v) <= 0.96605f * (1.0f + 1e-6f), "output above the ceiling");
        check(std::memcmp(&v, &b[static_cast<size_t>(i)], sizeof v) == 0, "channels differ");
      }
    }
  }
  return 0;
}
