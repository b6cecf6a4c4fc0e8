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
// The decimator multiplies taps by samples in groups of this many; its arrays have room
// for the last group.
inline constexpr int kTapGroup = 8;
inline constexpr int kPaddedTaps = (kMaxTaps + kTapGroup - 1) / kTapGroup * kTapGroup;

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
  float taps[kPaddedTaps] = {};
  // The last tapCount oversampled samples, each stored twice (at i and i + tapCount), so
  // that the tapCount samples from ringPos on are always contiguous.
  float ring[kMaxTaps + kPaddedTaps] = {};
  std::int32_t tapCount = 1;
  std::int32_t ringPos = 0;
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

// Clears the decimation input ring.
void resetDecimator(CircuitEngine& engine);

// Builds the windowed-sinc decimation filter for the current factor when it changed.
void buildDecimationFilter(CircuitEngine& engine, std::int32_t factor);

// One oversampled output sample: advances the volume, the ramps and the output stage.
float renderOutputStage(CircuitEngine& engine, const OutputStageInputs& inputs);

}  // namespace corva
