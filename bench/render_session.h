#pragma once
// One offline render of the whole instrument (circuit engine, then the effects chain when
// it is built in), block by block as a host would drive it, with its cost and the
// engine's budget figures.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/circuit_engine.h"

namespace corva::bench {

// When the trigger is held: always, never, until a time, or on/off in a repeating cycle.
struct TriggerPattern {
  enum class Kind { held, off, releaseAt, cycle } kind = Kind::held;
  double releaseSeconds = 0.0;  // releaseAt: held until this time
  double onSeconds = 0.0;       // cycle: held for onSeconds, then off for offSeconds
  double offSeconds = 0.0;

  bool heldAt(double seconds) const;
};

// Parses "held", "off", "release:T" or "cycle:ON:OFF" (seconds); false on bad text.
bool parseTriggerPattern(const std::string& text, TriggerPattern& out);

struct RenderSettings {
  double seconds = 6.0;
  double sampleRate = 48000.0;
  int blockSize = 64;
  int laterBlockSize = 0;  // when above 0, blocks of this size from laterSeconds on
  double laterSeconds = 0.0;
  EngineControls controls;  // trigger is driven by the pattern
  TriggerPattern trigger;
  bool echo = false;
  float feedback = 0.35f;
  float timeMs = 300.0f;
  float reverb = 0.0f;
  bool keepAudio = true;  // keep the mono output for the WAV and the pitch estimate
};

struct RenderResult {
  std::vector<float> audio;  // mono (both channels are identical)
  double audioSeconds = 0.0;
  double cpuSeconds = 0.0;  // thread CPU time spent rendering
  std::int32_t worstUsed = 0;
  double meanUsed = 0.0;    // evaluations per block, averaged over the render
  std::int32_t budget = 0;  // a full block's evaluation budget (the largest, with two block sizes)
  std::int32_t exhaustedBlocks = 0;
  std::int32_t lateBlocks = 0;
  std::int32_t blockCount = 0;
  double worstLoad = 0.0;
  std::int32_t factor = 1;
  std::int32_t latency = 0;
  bool effects = false;  // the effects chain was part of the render
  bool finite = true;    // every output sample was finite and equal on both channels
  float peak = 0.0f;
};

RenderResult render(const RenderSettings& settings);

}  // namespace corva::bench
