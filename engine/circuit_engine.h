#pragma once
// The circuit sound engine: renders the instrument's circuit into audio blocks. The main
// circuit is integrated once per block, the output stage once per oversampled sample,
// and the oversampled signal is DC-blocked, scaled by the volume and decimated.

#include <cstdint>

#include "engine/main_circuit.h"
#include "engine/output_stage.h"

namespace corva {

// Control snapshot, written whole between blocks.
struct EngineControls {
  std::uint8_t trigger = 0;
  std::uint8_t corvaBtn = 0;
  std::uint8_t toneBtn = 0;
  std::uint8_t hold = 0;
  std::int32_t tone = 1;
  std::int32_t mode = 0;
  std::int32_t speed = 1;  // 3 is "OFF"
  float volume = 1.0f;
  float supply = 12.2f;
  std::int32_t refinement = -1;   // nonzero allows the output stage's fine steps
  std::uint8_t adaptiveCost = 0;  // nonzero lets the cost estimate follow the measurement
  std::int32_t oversamplingCap = 4;
};

inline constexpr int kMaxTaps = 129;
// Taps of the decimation filter for an oversampling factor: 16 per factor and one, at
// most kMaxTaps; a single one without oversampling.
constexpr int decimationTaps(int factor) {
  return factor >= 2 ? (16 * factor < kMaxTaps - 1 ? 16 * factor : kMaxTaps - 1) + 1 : 1;
}
// The decimator computes the outputs of this many consecutive frames at once, one in each
// lane of a vector.
inline constexpr int kDecimatorLanes = 4;
// Entries of the decimator's input stream (see CircuitEngine::lanes); the stream is moved
// back to its start when full, keeping the entries still to be read.
inline constexpr int kLaneEntries = 512;

struct CircuitEngine {
  EngineControls controls;
  float sampleRate = 0.0f;
  float samplePeriod = 0.0f;
  float ledLevel = 0.0f;
  float gateVoltage = 0.0f;
  float volumeNow = 1.0f;
  float dcInPrev = 0.0f;
  float dcOutPrev = 0.0f;
  float evaluationsPerFrame = 52.0f;
  double mainCarry = 0.0;
  double outputDeficit = 0.0;
  float costPerEvaluation = 2e-7f;
  float measuredCost = 2e-7f;
  std::uint8_t refinementOn = 0;
  double blockStartTime = 0.0;
  float oversampledPeriod = 0.0f;
  OutputStage outputStage;
  Circuit circuit;
  float squareVolts = 0.0f;
  float c4Volts = 0.0f;
  float rampStep[2] = {};
  float rampValue[2] = {};
  std::uint8_t rampPrimed = 0;
  float baseSum[2] = {};
  float baseMean[2] = {};
  std::int32_t sampleCount = 0;
  std::int32_t budgetLeft = 0;
  std::int32_t budgetStart = 0;
  std::int32_t budgetCredit = 0;  // evaluations left unused by earlier blocks
  std::int32_t lastUsed = 0;      // evaluations the last block used
  std::int32_t worstUsed = 0;
  std::int32_t exhaustedBlocks = 0;
  std::int32_t blockCount = 0;
  double worstLoad = 0.0;
  std::int32_t lateBlocks = 0;
  std::int32_t filterFactor = 0;
  float taps[kMaxTaps] = {};
  // Each tap repeated in every lane.
  alignas(16) float tapLanes[kMaxTaps][kDecimatorLanes] = {};
  // The oversampled samples x[m], entry m's lane j holding x[m + j * factor]: the tapCount
  // entries from the first sample of a frame's window give, lane by lane, that frame's
  // window and those of the next three frames. lanePos is the entry of the next sample.
  alignas(16) float lanes[kLaneEntries][kDecimatorLanes] = {};
  std::int32_t lanePos = 0;
  // Frames still to come whose windows hold a sample too large to rule out a non-finite
  // output; those are decimated one at a time, as they complete.
  std::int32_t wildFrames = 0;
  std::int32_t tapCount = 1;
  std::int32_t factor = 1;
};

// Host rates the engine renders. Above the top, the output stage alone needs more
// evaluations per second than the real-time budget grants; below the bottom, the tone
// lies above half the rate.
inline constexpr double kMinEngineRate = 1000.0;
inline constexpr double kMaxEngineRate = 1000000.0;

// Prepares the engine for a host sample rate: rebuilds the main circuit, resets the
// output stage, and forces the decimation filter to be rebuilt by the next block. A rate
// that is not a number within kMinEngineRate..kMaxEngineRate is refused: the engine is
// left unprepared (blocks render nothing) and the result is false.
[[nodiscard]] bool prepareEngine(CircuitEngine& engine, double sampleRate);

// Sets the smoothed volume to the snapshot's volume. Called before the first block after
// preparation, once that block's snapshot is in, so that the block starts at the
// controls' values instead of gliding to them from the ones preparation saw.
void settleSmoothing(CircuitEngine& engine);

// Oversampling factor for the engine's sample rate and oversampling cap (1..8).
std::int32_t oversamplingFactor(const CircuitEngine& engine);

// Latency in samples reported to the host: the decimation filter's 8 samples when
// oversampling, plus the effects chain's limiter lookahead.
std::int32_t computeLatency(const CircuitEngine& engine, std::int32_t limiterLookahead);

// Convenience for the plug-in: reads its `engine` and its effects chain's `lookahead`.
template <class Plug>
std::int32_t computeLatency(const Plug& plug) {
  return computeLatency(plug.engine, plug.effects.lookahead);
}

// Renders frameCount frames and ADDS the same mono value to each of the channelCount
// buffers; the caller zeroes them first. Does nothing before preparation.
void renderCircuitBlock(CircuitEngine& engine, float* const* outputs, std::int32_t channelCount,
                        std::int32_t frameCount);

// Entries of the decimation input stream before the next sample that are still read: a
// window's and the three further frames' that share its pass.
inline std::int32_t decimatorHistory(const CircuitEngine& engine) {
  return engine.tapCount + kDecimatorLanes * (engine.factor > 1 ? engine.factor : 1);
}
static_assert(kMaxTaps + kDecimatorLanes * 8 + 8 <= kLaneEntries);

// Clears the decimation input stream.
void resetDecimator(CircuitEngine& engine);

// Builds the windowed-sinc decimation filter for the current factor when it changed.
void buildDecimationFilter(CircuitEngine& engine, std::int32_t factor);

// One oversampled output sample: advances the volume, the ramps and the output stage.
float renderOutputStage(CircuitEngine& engine, const OutputStageInputs& inputs);

}  // namespace corva
