#include "bench/render_session.h"

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "engine/denormals.h"

#ifdef CORVA_RENDER_EFFECTS
#include "engine/effects_chain.h"
#endif

namespace corva::bench {

namespace {

double threadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

bool parseSeconds(const char* text, double& out) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || !std::isfinite(value) || value < 0.0) return false;
  out = value;
  return true;
}

}  // namespace

bool TriggerPattern::heldAt(double seconds) const {
  switch (kind) {
    case Kind::held:
      return true;
    case Kind::off:
      return false;
    case Kind::releaseAt:
      return seconds < releaseSeconds;
    case Kind::cycle: {
      const double period = onSeconds + offSeconds;
      if (!(period > 0.0)) return onSeconds > 0.0;
      return std::fmod(seconds, period) < onSeconds;
    }
  }
  return false;
}

bool parseTriggerPattern(const std::string& text, TriggerPattern& out) {
  TriggerPattern p;
  if (text == "held") {
    p.kind = TriggerPattern::Kind::held;
  } else if (text == "off") {
    p.kind = TriggerPattern::Kind::off;
  } else if (text.rfind("release:", 0) == 0) {
    p.kind = TriggerPattern::Kind::releaseAt;
    if (!parseSeconds(text.c_str() + 8, p.releaseSeconds)) return false;
  } else if (text.rfind("cycle:", 0) == 0) {
    p.kind = TriggerPattern::Kind::cycle;
    const std::string rest = text.substr(6);
    const std::size_t colon = rest.find(':');
    if (colon == std::string::npos) return false;
    if (!parseSeconds(rest.substr(0, colon).c_str(), p.onSeconds) ||
        !parseSeconds(rest.substr(colon + 1).c_str(), p.offSeconds))
      return false;
  } else {
    return false;
  }
  out = p;
  return true;
}

RenderResult render(const RenderSettings& s) {
  RenderResult result;
  flushDenormals();  // the plug-in renders with denormals flushed to zero; so does the tool
  CircuitEngine engine;
  engine.controls = s.controls;
  (void)prepareEngine(engine, s.sampleRate);  // the tool takes only rates the engine plays
  std::int32_t lookahead = 0;
#ifdef CORVA_RENDER_EFFECTS
  EffectsChain chain;
  chain.echoOn = s.echo;
  chain.echoFeedback = s.feedback;
  chain.echoTimeMs = s.timeMs;
  chain.reverbAmount = s.reverb;
  prepareEffects(chain, s.sampleRate);
  lookahead = chain.lookahead;
  result.effects = true;
#endif
  result.latency = computeLatency(engine, lookahead);

  const int firstBlock = std::max(s.blockSize, 1);
  const auto laterFrom = static_cast<std::int64_t>(std::llround(s.laterSeconds * s.sampleRate));
  const auto totalFrames = static_cast<std::int64_t>(std::llround(s.seconds * s.sampleRate));
  const auto blockAt = [&](std::int64_t pos) {
    return s.laterBlockSize > 0 && pos >= laterFrom ? s.laterBlockSize : firstBlock;
  };
  std::vector<float> left(std::max(firstBlock, s.laterBlockSize)), right(left.size());
  float* outs[2] = {left.data(), right.data()};
  if (s.keepAudio) result.audio.reserve(static_cast<std::size_t>(totalFrames));

  double cpu = 0.0;
  double totalUsed = 0.0;
  for (std::int64_t pos = 0; pos < totalFrames;) {
    const int n = static_cast<int>(std::min<std::int64_t>(blockAt(pos), totalFrames - pos));
    engine.controls.trigger = s.trigger.heldAt(static_cast<double>(pos) / s.sampleRate) ? 1 : 0;
    std::fill(left.begin(), left.begin() + n, 0.0f);
    std::fill(right.begin(), right.begin() + n, 0.0f);
    const double start = threadCpuSeconds();
    renderCircuitBlock(engine, outs, 2, n);
#ifdef CORVA_RENDER_EFFECTS
    processEffects(chain, outs, 2, n);
#endif
    cpu += threadCpuSeconds() - start;
    // A last, shorter block has a smaller budget: the worst block is measured against a full one's.
    if (n == blockAt(pos) || result.budget == 0) result.budget = std::max(result.budget, engine.budgetStart);
    totalUsed += engine.lastUsed;
    for (int i = 0; i < n; ++i) {
      if (!std::isfinite(left[i]) || left[i] != right[i]) result.finite = false;
      result.peak = std::max(result.peak, std::fabs(left[i]));
    }
    if (s.keepAudio) result.audio.insert(result.audio.end(), left.begin(), left.begin() + n);
    pos += n;
  }

  result.audioSeconds = static_cast<double>(totalFrames) / s.sampleRate;
  result.cpuSeconds = cpu;
  result.worstUsed = engine.worstUsed;
  result.meanUsed = engine.blockCount > 0 ? totalUsed / engine.blockCount : 0.0;
  result.exhaustedBlocks = engine.exhaustedBlocks;
  result.lateBlocks = engine.lateBlocks;
  result.blockCount = engine.blockCount;
  result.worstLoad = engine.worstLoad;
  result.factor = engine.factor;
  return result;
}

}  // namespace corva::bench
