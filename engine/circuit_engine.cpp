#include "engine/circuit_engine.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/exponential.h"
#include "engine/output_stage_solver.h"
#include "engine/transient_solver.h"

namespace corva {

namespace {

double steadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::int32_t clampSelector(std::int32_t position) { return std::clamp(position, 0, 3); }

// An evaluation count from a float product, saturated so that the conversion is defined
// for any cost or rate written into the fields (a NaN counts as 0).
std::int32_t evaluationCount(float v) { return v >= 1e9f ? 1000000000 : v >= 1.0f ? static_cast<std::int32_t>(v) : 0; }

// What every oversampled sample of a block shares: the drive's fields that hold for the
// whole block, where each base's source voltage comes from, and whether the constant
// fields are usable (all finite, both tone resistors positive).
// It also says whether the smoothed volume has reached its target: a finite target that
// the volume equals stays where it is, exactly, through every sample of the block.
struct BlockDrive {
  StageDrive drive;
  const float* source[2];
  bool constantsUsable;
  bool volumeSettled;
  // Each ramp's step times zero: what a sample simulated in full takes back from the ramp.
  float rampStepTimesZero[2];
};

BlockDrive blockDrive(const CircuitEngine& engine, const OutputStageInputs& in) {
  const auto source = [&](std::uint8_t pick) {
    return pick == 0 ? &engine.rampValue[1] : pick == 1 ? &engine.rampValue[0] : &in.gate;
  };
  BlockDrive b{{in.rA, 0.0, in.rB, 0.0, in.biasVoltage, in.modeTwo != 0, in.gate},
               {source(in.modePair[0]), source(in.modePair[1])},
               false,
               false,
               {engine.rampStep[0] * 0.0f, engine.rampStep[1] * 0.0f}};
  b.constantsUsable = std::isfinite(b.drive.rA) && std::isfinite(b.drive.rB) && std::isfinite(b.drive.biasVoltage) &&
                      std::isfinite(b.drive.gate) && in.rA > 0.0f && in.rB > 0.0f;
  b.volumeSettled = std::isfinite(in.targetVolume) && std::isfinite(in.volumeCoeff) &&
                    engine.volumeNow == in.targetVolume;
  return b;
}

// Whether the stage's four voltages are finite: x - x is 0 for a finite x and NaN for any
// other, two at a time.
inline bool stageVoltagesFinite(const OutputStage& s) {
#if defined(__SSE2__)
  const __m128d low = _mm_loadu_pd(s.v), high = _mm_loadu_pd(s.v + 2);
  const __m128d zeros = _mm_add_pd(_mm_sub_pd(low, low), _mm_sub_pd(high, high));
  return _mm_movemask_pd(_mm_cmpunord_pd(zeros, zeros)) == 0;
#else
  return std::isfinite(s.v[0]) && std::isfinite(s.v[1]) && std::isfinite(s.v[2]) && std::isfinite(s.v[3]);
#endif
}

// One oversampled sample of the output stage's collector B, before scaling.
[[gnu::always_inline]] inline void integrateSample(CircuitEngine& engine, double h, const BlockDrive& block) {
  OutputStage& s = engine.outputStage;
  const StageDrive& drive = block.drive;
  s.stampCount = 0;
  s.integral = 0.0;
  s.timeDone = 0.0;
  std::int32_t used = 0;
  if (!(block.constantsUsable && std::isfinite(drive.sourceA) && std::isfinite(drive.sourceB) &&
        stageVoltagesFinite(s))) {
    resetOutputStage(s);
    s.timeSimulated = h;
    s.average = 0.0f;
  } else {
    // A budget that runs out leaves timeDone short of h; the rest holds the last voltage.
    (void)integrateOutputStage(s, h, drive, engine.budgetLeft);
    s.timeSimulated = s.timeDone;
    if (s.timeDone < h) {
      s.integral += (h - s.timeDone) * s.v[kCollectorB];
      s.timeDone = h;
    }
    s.average = static_cast<float>(s.integral / h);
    used = s.stampCount;
    // A solve that diverged to a non-finite value restarts the stage instead of
    // poisoning the DC blocker and the decimation input.
    if (!std::isfinite(s.average)) {
      resetOutputStage(s);
      s.average = 0.0f;
    }
  }
  engine.budgetLeft -= used;
}

// One step of the volume's smoothing towards its target, landing on it within 1e-7.
inline void smoothVolume(CircuitEngine& engine, const OutputStageInputs& in) {
  engine.volumeNow += (in.targetVolume - engine.volumeNow) * in.volumeCoeff;
  if (std::fabs(in.targetVolume - engine.volumeNow) < 1e-7f) engine.volumeNow = in.targetVolume;
}

// Advances the ramps by a whole step and gives the drive its source voltages.
inline void advanceRamps(CircuitEngine& engine, BlockDrive& block) {
  engine.rampValue[0] += engine.rampStep[0];
  engine.rampValue[1] += engine.rampStep[1];
  block.drive.sourceA = *block.source[0];
  block.drive.sourceB = *block.source[1];
}

// A sample simulated only for `simulated` of its h seconds: the rest goes to the deficit,
// and the ramps advance only by the part simulated.
[[gnu::noinline]] void partSimulated(CircuitEngine& engine, double simulated, double h) {
  engine.outputDeficit += h - simulated;
  const double frac = std::clamp(simulated / h, 0.0, 1.0);
  engine.rampValue[0] -= engine.rampStep[0] * static_cast<float>(1.0 - frac);
  engine.rampValue[1] -= engine.rampStep[1] * static_cast<float>(1.0 - frac);
}

// The sample's end: the base voltages join the block's sums, and the stage's average
// passes the DC blocker; the result is before the volume.
inline float finishSample(CircuitEngine& engine, const OutputStageInputs& in) {
  const OutputStage& s = engine.outputStage;
  engine.baseSum[0] += static_cast<float>(s.v[kBaseA]);
  engine.baseSum[1] += static_cast<float>(s.v[kBaseB]);
  const float x = s.average * 0.09090909f;
  const float y = (x + engine.dcOutPrev - engine.dcInPrev) * in.dcCoeff;
  engine.dcInPrev = x;
  engine.dcOutPrev = y;
  return y;
}

// One oversampled output sample: advances the volume, the ramps and the output stage.
inline float renderSample(CircuitEngine& engine, const OutputStageInputs& in, BlockDrive& block) {
  OutputStage& s = engine.outputStage;
  const double h = engine.oversampledPeriod;

  if (block.volumeSettled) {
    engine.volumeNow = in.targetVolume;
  } else {
    smoothVolume(engine, in);
  }
  advanceRamps(engine, block);

  if (engine.budgetLeft >= 1) {
    integrateSample(engine, h, block);
  } else {
    s.timeSimulated = 0.0;
  }

  // The ramps advance only by the part of the sample simulated.
  if (s.timeSimulated == h) {
    engine.outputDeficit += h - s.timeSimulated;
    engine.rampValue[0] -= block.rampStepTimesZero[0];
    engine.rampValue[1] -= block.rampStepTimesZero[1];
  } else {
    partSimulated(engine, s.timeSimulated, h);
  }

  engine.sampleCount += 1;
  return finishSample(engine, in) * engine.volumeNow;
}

// Four floats handled as one value, element by element.
using FloatLanes = float __attribute__((vector_size(kDecimatorLanes * sizeof(float))));

// p, which is 16-byte aligned, told to be so. Clang 14 crashes generating the
// undefined-behaviour sanitizer's check of such a promise, so under clang the pointer
// goes as it is (its code then loads the vectors unaligned).
inline const void* assumeAligned16(const void* p) {
#if defined(__clang__)
  return p;
#else
  return __builtin_assume_aligned(p, 16);
#endif
}

// The decimated outputs of count (at most four) consecutive frames from first on, the
// first one's window starting at entry start, added to every channel. Each lane sums its
// frame's products tap by tap, as a single frame's sum does. FixedTaps, when nonzero, is
// the filter's tap count, known to the compiler.
template <int FixedTaps>
void addDecimatedFrames(const CircuitEngine& engine, std::int32_t start, std::int32_t count, std::int32_t first,
                        float* const* outputs, std::int32_t channelCount) {
  const std::int32_t taps = FixedTaps > 0 ? FixedTaps : engine.tapCount;
  FloatLanes sum = {0.0f, 0.0f, 0.0f, 0.0f};
  // Both arrays' entries are whole aligned vectors, which the products may read directly.
  const auto* const lanes = static_cast<const FloatLanes*>(assumeAligned16(engine.lanes[start]));
  const auto* const tapLanes = static_cast<const FloatLanes*>(assumeAligned16(engine.tapLanes));
  const auto product = [&](std::int32_t t) {
    FloatLanes x, tap;
    std::memcpy(&x, lanes + t, sizeof x);
    std::memcpy(&tap, tapLanes + t, sizeof tap);
    return tap * x;
  };
  // A fixed tap count's loop is unrolled whole, leaving no loop control between the
  // products.
  if constexpr (FixedTaps > 0) {
#pragma GCC unroll 129
    for (std::int32_t t = 0; t < FixedTaps; ++t) sum += product(t);
  } else {
#pragma GCC unroll 8
    for (std::int32_t t = 0; t < taps; ++t) sum += product(t);
  }
  if (count == kDecimatorLanes) {
    for (std::int32_t ch = 0; ch < channelCount; ++ch) {
      FloatLanes out;
      std::memcpy(&out, outputs[ch] + first, sizeof out);
      out += sum;
      std::memcpy(outputs[ch] + first, &out, sizeof out);
    }
    return;
  }
  for (std::int32_t j = 0; j < count; ++j)
    for (std::int32_t ch = 0; ch < channelCount; ++ch) outputs[ch][first + j] += sum[j];
}

// A sample at most this large keeps every output whose window holds it finite: the taps
// are below 1 in magnitude, so no partial sum of kMaxTaps products can overflow.
constexpr float kTameSample = 1e30f;

// On the steady path, samples are tame without a test of their own while every average
// of the stage stays within kTameAverage, the DC blocker's state and the volume start
// within the bounds below and the block has at most kMaxSteadySamples samples: the DC
// blocker's input is at most 0.091 kTameAverage, so each sample moves its output by at
// most twice that (its coefficient is at most 1), the roundings of a whole block add
// less than a factor of 2.2 to that and to the volume, and no sample exceeds
// 2.2 (2e18 + 0.182e18 * 2^22) * 2.2e4 < 1e29.
constexpr float kTameAverage = 1e18f;
constexpr float kTameDcState = 1e18f;
constexpr float kTameVolume = 1e4f;
constexpr std::int32_t kMaxSteadySamples = 1 << 22;

// Whether a block may render every sample on the steady path (steadySample), which
// leaves out what provably changes nothing in such a block:
//  - the source voltages' finiteness test: the drive's constants are usable, and each
//    ramp starts finite and moves by a finite step small enough that it cannot
//    overflow within the block (a sample moves it by at most twice its step);
//  - after a sample simulated in full, the ramps' step times zero taken back and the
//    deficit's zero added: x - (step * 0) is x unless x is -0 and step is -0 (a sum is
//    -0 only when both its terms are), and the deficit, never -0, stays as it is;
//  - each sample's own tameness test, replaced by the average's (see kTameAverage);
//  - the floating-point comparison of the time simulated with the period, made on their
//    bits: a positive period equals only the value with the same bits.
bool steadyBlock(const CircuitEngine& engine, const OutputStageInputs& in, const BlockDrive& block,
                 std::int32_t samples) {
  if (!block.constantsUsable) return false;
  const bool tameBounds = std::fabs(engine.dcInPrev) <= kTameDcState && std::fabs(engine.dcOutPrev) <= kTameDcState &&
                          std::fabs(engine.outputStage.average) <= kTameAverage &&
                          std::fabs(engine.volumeNow) <= kTameVolume && std::fabs(in.targetVolume) <= kTameVolume &&
                          in.dcCoeff >= 0.0f && in.dcCoeff <= 1.0f && in.volumeCoeff >= 0.0f &&
                          in.volumeCoeff <= 1.0f && samples <= kMaxSteadySamples;
  // A positive period equals only the value with its own bits (see steadySample).
  if (!tameBounds || !(engine.oversampledPeriod > 0.0f)) return false;
  if (engine.outputDeficit == 0.0 && std::signbit(engine.outputDeficit)) return false;
  for (int i = 0; i < 2; ++i) {
    const float value = engine.rampValue[i], step = engine.rampStep[i];
    if (!(std::fabs(value) <= 1e37f && std::fabs(step) * static_cast<float>(samples) <= 1e37f)) return false;
    if (step == 0.0f && std::signbit(step)) return false;
  }
  return true;
}

// The output stage's integration of one interval on the steady path: with Vector, the
// vector path's entry itself, called directly, which spares each sample the choice and
// the call through a pointer, and its constants for the block's base resistors kept once
// for the block (and again after the stage is reset) instead of tested each interval.
template <bool Vector>
struct StageIntegration {
  // The interval from zero (see integrateOutputStageSteadyAvx2): the integral and the
  // time done, or a time done of -1 for voltages that are not all finite.
  static SteadyInterval integrate(OutputStage& s, double h, const StageDrive& drive, std::int32_t budget) {
#ifdef CORVA_VECTOR_PATHS
    if constexpr (Vector) return integrateOutputStageSteadyAvx2(s, h, drive, budget);
#endif
    s.stampCount = 0;
    s.integral = 0.0;
    s.timeDone = 0.0;
    if (!stageVoltagesFinite(s)) return {0.0, -1.0};
    (void)integrateOutputStage(s, h, drive, budget);
    return {s.integral, s.timeDone};
  }
  static void keep([[maybe_unused]] OutputStage& s, [[maybe_unused]] const StageDrive& drive) {
#ifdef CORVA_VECTOR_PATHS
    if constexpr (Vector) keepOutputStageResistorsAvx2(s, drive.rA, drive.rB);
#endif
  }
  // The stage started again from rest, silent for the sample: after a non-finite voltage
  // or a solve that diverged.
  static void restart(OutputStage& s, const StageDrive& drive) {
    resetOutputStage(s);
    keep(s, drive);
    s.average = 0.0f;
  }
};

// What the steady path keeps in locals through a block, written back at its end.
struct SteadyState {
  std::int32_t budgetLeft;
  std::int32_t lanePos;
  std::int32_t wildFrames;
  // Set by an average beyond kTameAverage, after which every frame of the block counts
  // as holding a sample that is not tame.
  bool wild;
};

// One oversampled output sample on the steady path (see steadyBlock): the same values
// as renderSample. With Settled, the volume has reached its target and holds it. The
// stage's timeSimulated, which only the general path reads, and only after writing it
// within the same sample, is left as it is.
template <bool Settled, bool Vector>
[[gnu::always_inline]] inline float steadySample(CircuitEngine& engine, const OutputStageInputs& in, BlockDrive& block,
                                                 double h, std::uint64_t hBits, SteadyState& state) {
  using Integration = StageIntegration<Vector>;
  OutputStage& s = engine.outputStage;
  if constexpr (!Settled) smoothVolume(engine, in);
  advanceRamps(engine, block);

  const auto output = [&] {
    const float y = finishSample(engine, in);
    if constexpr (Settled) return y * in.targetVolume;
    return y * engine.volumeNow;
  };
  if (state.budgetLeft < 1) [[unlikely]] {
    partSimulated(engine, 0.0, h);
    return output();
  }
  const SteadyInterval interval = Integration::integrate(s, h, block.drive, state.budgetLeft);
  double integral = interval.integral;
  std::uint64_t doneBits;
  std::memcpy(&doneBits, &interval.timeDone, sizeof doneBits);
  if (doneBits != hBits) [[unlikely]] {
    const double done = interval.timeDone;
    if (!(done >= 0.0)) {
      Integration::restart(s, block.drive);
      return output();
    }
    if (done < h) {
      integral += (h - done) * s.v[kCollectorB];
      s.integral = integral;
      s.timeDone = h;
    }
    partSimulated(engine, done, h);
  }
  s.average = static_cast<float>(integral / h);
  state.budgetLeft -= s.stampCount;
  if (!(std::fabs(s.average) <= kTameAverage)) [[unlikely]] {
    if (std::isfinite(s.average)) {
      state.wild = true;
    } else {
      Integration::restart(s, block.drive);
    }
  }
  return output();
}

// Samples handed to the decimator: either renderSample, or the steady path's
// steadySample with the block's integration and the locals it keeps.
struct GeneralSamples {
  CircuitEngine& engine;
  const OutputStageInputs& in;
  BlockDrive& block;
  float operator()() const { return renderSample(engine, in, block); }
  static bool tame(float sample) { return std::fabs(sample) <= kTameSample; }
  static bool wildFrame() { return false; }
  std::int32_t& lanePos() const { return engine.lanePos; }
  std::int32_t& wildFrames() const { return engine.wildFrames; }
  void finish() const {}
};

template <bool Settled, bool Vector>
struct SteadySamples {
  CircuitEngine& engine;
  const OutputStageInputs& in;
  BlockDrive& block;
  double h;
  std::uint64_t hBits;
  SteadyState& state;
  float operator()() const { return steadySample<Settled, Vector>(engine, in, block, h, hBits, state); }
  static bool tame(float) { return true; }
  bool wildFrame() const { return state.wild; }
  std::int32_t& lanePos() const { return state.lanePos; }
  std::int32_t& wildFrames() const { return state.wildFrames; }
  void finish() const {
    engine.budgetLeft = state.budgetLeft;
    engine.lanePos = state.lanePos;
    engine.wildFrames = state.wildFrames;
  }
};

// The block's frames with oversampling: each frame's factor samples go into the input
// stream, and the outputs are computed four frames at a time once their windows are in.
// A frame whose window holds a sample that is not tame is decimated on its own as soon as
// it completes, since a non-finite output there clears the DC blocker before the next
// frame's samples. FixedF, when nonzero, is the factor F, known to the compiler.
template <int FixedF, class Samples>
void decimateBlock(CircuitEngine& engine, const Samples& next, std::int32_t runtimeF, float* const* outputs,
                   std::int32_t channelCount, std::int32_t frameCount) {
  const std::int32_t F = FixedF > 0 ? FixedF : runtimeF;
  // A fixed factor's filter has its fixed tap count (see decimateFrames).
  constexpr int kTaps = FixedF > 0 ? decimationTaps(FixedF) : 0;
  const std::int32_t taps = engine.tapCount;
  std::int32_t& lanePos = next.lanePos();
  std::int32_t& wildFrames = next.wildFrames();
  // Where a sample goes in each lane, from its own entry's first lane.
  std::int32_t laneOffset[kDecimatorLanes];
  for (std::int32_t lane = 0; lane < kDecimatorLanes; ++lane) laneOffset[lane] = lane * (1 - F * kDecimatorLanes);
  std::int32_t pending = 0, pendingFirst = 0, pendingStart = 0;
  for (std::int32_t i = 0; i < frameCount; ++i) {
    if (lanePos + F > kLaneEntries) {
      if (pending > 0) addDecimatedFrames<kTaps>(engine, pendingStart, pending, pendingFirst, outputs, channelCount);
      pending = 0;
      const std::int32_t keep = decimatorHistory(engine);
      std::memmove(engine.lanes, engine.lanes + lanePos - keep, sizeof engine.lanes[0] * keep);
      lanePos = keep;
    }
    bool tame = true;
#pragma GCC unroll 8
    for (std::int32_t j = 0; j < F; ++j) {
      const float sample = next();
      float* const entry = engine.lanes[lanePos];
      for (std::int32_t lane = 0; lane < kDecimatorLanes; ++lane) entry[laneOffset[lane]] = sample;
      lanePos += 1;
      tame &= next.tame(sample);
    }
    if (!tame || next.wildFrame()) wildFrames = (taps - 1) / F + 1;
    const std::int32_t start = lanePos - taps;
    if (wildFrames > 0) {
      wildFrames -= 1;
      float y = 0.0f;
      for (std::int32_t t = 0; t < taps; ++t) y += engine.taps[t] * engine.lanes[start + t][0];
      // Non-finite values never leave the engine, whatever the controls.
      if (!std::isfinite(y)) {
        y = 0.0f;
        engine.dcInPrev = engine.dcOutPrev = 0.0f;
      }
      for (std::int32_t ch = 0; ch < channelCount; ++ch) outputs[ch][i] += y;
      continue;
    }
    if (pending == 0) {
      pendingFirst = i;
      pendingStart = start;
    }
    if (++pending == kDecimatorLanes) {
      addDecimatedFrames<kTaps>(engine, pendingStart, pending, pendingFirst, outputs, channelCount);
      pending = 0;
    }
  }
  if (pending > 0) addDecimatedFrames<kTaps>(engine, pendingStart, pending, pendingFirst, outputs, channelCount);
  next.finish();
}

// decimateBlock for the block's factor, with the factors the host rates usually give, and
// their filters' tap counts, known to the compiler.
template <class Samples>
void decimateFrames(CircuitEngine& engine, const Samples& next, std::int32_t F, float* const* outputs,
                    std::int32_t channelCount, std::int32_t frameCount) {
  // The filter was built for the factor before the block.
  if (engine.tapCount == decimationTaps(F)) {
    switch (F) {
      case 2:
        return decimateBlock<2>(engine, next, F, outputs, channelCount, frameCount);
      case 4:
        return decimateBlock<4>(engine, next, F, outputs, channelCount, frameCount);
      case 8:
        return decimateBlock<8>(engine, next, F, outputs, channelCount, frameCount);
      default:
        break;
    }
  }
  return decimateBlock<0>(engine, next, F, outputs, channelCount, frameCount);
}

// The steady path's frames, the volume settled or not.
template <bool Vector>
void renderSteady(CircuitEngine& engine, const OutputStageInputs& in, BlockDrive& block, std::int32_t F,
                  float* const* outputs, std::int32_t channelCount, std::int32_t frameCount) {
  SteadyState state{engine.budgetLeft, engine.lanePos, engine.wildFrames, false};
  const double h = engine.oversampledPeriod;
  StageIntegration<Vector>::keep(engine.outputStage, block.drive);
  if (block.volumeSettled) {
    engine.volumeNow = in.targetVolume;
    decimateFrames(engine, SteadySamples<true, Vector>{engine, in, block, h, std::bit_cast<std::uint64_t>(h), state}, F,
                   outputs, channelCount, frameCount);
  } else {
    decimateFrames(engine, SteadySamples<false, Vector>{engine, in, block, h, std::bit_cast<std::uint64_t>(h), state},
                   F, outputs, channelCount, frameCount);
  }
}

// The block's frames with oversampling, on the steady path where the block allows it.
void renderOversampled(CircuitEngine& engine, const OutputStageInputs& in, BlockDrive& block, std::int32_t F,
                       float* const* outputs, std::int32_t channelCount, std::int32_t frameCount) {
  const std::int32_t samples = F * frameCount;
  if (!steadyBlock(engine, in, block, samples)) {
    decimateFrames(engine, GeneralSamples{engine, in, block}, F, outputs, channelCount, frameCount);
    return;
  }
  // The steady path counts the block's samples at once; nothing reads the count during it.
  engine.sampleCount += samples;
#ifdef CORVA_VECTOR_PATHS
  if (vectorPathsOn()) return renderSteady<true>(engine, in, block, F, outputs, channelCount, frameCount);
#endif
  renderSteady<false>(engine, in, block, F, outputs, channelCount, frameCount);
}

}  // namespace

bool prepareEngine(CircuitEngine& engine, double sampleRate) {
  const bool renderable = sampleRate >= kMinEngineRate && sampleRate <= kMaxEngineRate;
  if (!renderable) sampleRate = 0.0;
  engine.sampleRate = static_cast<float>(sampleRate);
  engine.samplePeriod = sampleRate > 0.0 ? 1.0f / engine.sampleRate : 0.0f;
  engine.ledLevel = 0.0f;
  engine.dcInPrev = 0.0f;
  engine.dcOutPrev = 0.0f;
  // The base voltages averaged over the last block pin the main circuit in the next one:
  // left over from before the reset, they would start a fresh circuit from old voltages.
  engine.baseSum[0] = engine.baseSum[1] = 0.0f;
  engine.baseMean[0] = engine.baseMean[1] = 0.0f;
  engine.sampleCount = 0;
  engine.mainCarry = 0.0;
  engine.outputDeficit = 0.0;
  // Nothing has been spent before the first block, so it starts with the whole credit
  // (each block caps it): the note's first blocks, where both circuits settle from rest at
  // once, may use it instead of running out.
  engine.budgetCredit = std::numeric_limits<std::int32_t>::max();
  engine.rampPrimed = 0;
  if (sampleRate > 0.0) engine.evaluationsPerFrame = 0.85f / (engine.sampleRate * 2e-7f);
  resetOutputStage(engine.outputStage);
  engine.gateVoltage = 0.0f;
  buildCircuit(engine.circuit);
  engine.volumeNow = engine.controls.volume;
  engine.filterFactor = 0;
  for (auto& entry : engine.lanes)
    for (float& s : entry) s = 0.0f;
  engine.lanePos = 0;
  engine.wildFrames = 0;
  const float factor = engine.factor < 1 ? 1.0f : static_cast<float>(engine.factor);
  engine.oversampledPeriod = engine.samplePeriod / factor;
  return renderable;
}

void settleSmoothing(CircuitEngine& engine) { engine.volumeNow = engine.controls.volume; }

std::int32_t oversamplingFactor(const CircuitEngine& engine) {
  const float rate = std::max(engine.sampleRate, 1.0f);
  const float ratio = 384000.0f / rate;
  // Only ratios between 1 and 8 reach the integer conversion; anything else (a NaN
  // rate written directly into the field included) is clamped first.
  const std::int32_t f = ratio >= 8.0f ? 8 : ratio >= 1.0f ? static_cast<std::int32_t>(std::trunc(ratio)) : 1;
  const std::int32_t capIn = engine.controls.oversamplingCap;
  const std::int32_t cap = capIn >= 8 ? 8 : capIn >= 4 ? 4 : capIn >= 2 ? 2 : 1;
  return std::min(f, cap);
}

std::int32_t computeLatency(const CircuitEngine& engine, std::int32_t limiterLookahead) {
  return (oversamplingFactor(engine) >= 2 ? 8 : 0) + limiterLookahead;
}

float renderOutputStage(CircuitEngine& engine, const OutputStageInputs& in) {
  BlockDrive block = blockDrive(engine, in);
  return renderSample(engine, in, block);
}

void renderCircuitBlock(CircuitEngine& engine, float* const* outputs, std::int32_t channelCount,
                        std::int32_t frameCount) {
  if (!(engine.sampleRate > 0.0f) || frameCount < 1) return;
  const EngineControls& k = engine.controls;

  const std::int32_t F = oversamplingFactor(engine);
  const float h = engine.samplePeriod / static_cast<float>(F);
  if (F != engine.filterFactor) buildDecimationFilter(engine, F);

  const bool gateOn = k.trigger != 0 || k.hold != 0;
  const std::int32_t tone = clampSelector(k.tone);
  const std::int32_t mode = clampSelector(k.mode);
  const std::int32_t speed = clampSelector(k.speed);
  const float rA = kToneResistorA[tone];
  const float rB = kToneResistorB[tone];

  if (engine.sampleCount > 0) {
    engine.baseMean[0] = engine.baseSum[0] / static_cast<float>(engine.sampleCount);
    engine.baseMean[1] = engine.baseSum[1] / static_cast<float>(engine.sampleCount);
  }
  applyCircuitControls(engine.circuit, CircuitControls{engine.baseMean[0], engine.baseMean[1], mode, speed, rA, rB,
                                                       gateOn, k.supply, k.corvaBtn != 0, k.toneBtn != 0});
  engine.baseSum[0] = engine.baseSum[1] = 0.0f;
  engine.sampleCount = 0;

  engine.blockStartTime = steadySeconds();

  const float cost = k.adaptiveCost ? engine.costPerEvaluation : (k.mode == 2 ? 4e-7f : 2e-7f);
  engine.refinementOn = k.refinement != 0;
  engine.outputStage.refinement = engine.refinementOn;
  engine.evaluationsPerFrame = 0.85f / (cost * engine.sampleRate);
  const std::int32_t budget = std::max(evaluationCount(static_cast<float>(frameCount) * engine.evaluationsPerFrame), 8);
  // Evaluations that earlier blocks left unused may be spent too, so that a switching edge
  // costing more than a small block's share completes within a few blocks. The credit
  // covers at most 0.5 ms of evaluations: a block overruns its share by little and the
  // work over any few milliseconds stays within the budget.
  const std::int32_t credit = std::clamp(engine.budgetCredit, 0, evaluationCount(0.85f / (cost * 2000.0f)));
  engine.budgetStart = budget;
  engine.budgetLeft = budget + credit;

  // Main circuit over the block, less the output stage's unpaid time, plus the carry.
  const double blockTime = static_cast<double>(engine.samplePeriod) * frameCount;
  const double repaid = std::min(blockTime, engine.outputDeficit);
  engine.outputDeficit -= repaid;
  const double T = std::max(blockTime + engine.mainCarry - repaid, 0.0);
  const std::int32_t capMain = std::max(
      static_cast<std::int32_t>(static_cast<double>(static_cast<float>(budget) * 0.4f) * (T / blockTime) * 0.5), 4);

  engine.circuit.evaluationCount = 0;
  const double done = integrateCircuit(engine.circuit, T, capMain);
  const double left = T - done;
  engine.mainCarry = left <= 1e-9 ? 0.0 : std::min(left, blockTime);

  engine.budgetLeft -= 2 * engine.circuit.evaluationCount;
  engine.budgetLeft = std::max(engine.budgetLeft, 8);

  engine.squareVolts = static_cast<float>(engine.circuit.x[engine.circuit.nSquare]);
  engine.c4Volts = static_cast<float>(engine.circuit.x[engine.circuit.nC4]);
  if (!engine.rampPrimed) {
    engine.rampValue[0] = engine.squareVolts;
    engine.rampValue[1] = engine.c4Volts;
    engine.rampPrimed = 1;
  }
  const float samples = static_cast<float>(F) * static_cast<float>(frameCount);
  engine.rampStep[0] = (engine.squareVolts - engine.rampValue[0]) / samples;
  engine.rampStep[1] = (engine.c4Volts - engine.rampValue[1]) / samples;

  const float target = gateOn ? k.supply : 0.0f;
  engine.gateVoltage += (1.0f - exponential(-static_cast<float>(frameCount) * engine.samplePeriod / 0.002f)) *
                        (target - engine.gateVoltage);
  if (!std::isfinite(engine.gateVoltage)) engine.gateVoltage = 0.0f;

  OutputStageInputs in;
  in.rA = rA;
  in.rB = rB;
  in.gate = engine.gateVoltage;
  in.modePair[0] = kModeTable[mode][0];
  in.modePair[1] = kModeTable[mode][1];
  in.volumeCoeff = 1.0f - exponential(-h / 0.01f);
  in.dcCoeff = 1.1f / (h + 1.1f);
  in.targetVolume = k.volume;
  in.modeTwo = k.mode == 2;
  in.biasVoltage = in.modeTwo ? engine.gateVoltage : 0.0f;

  // A non-finite volume once set would otherwise keep the smoothed volume non-finite.
  if (!std::isfinite(engine.volumeNow)) engine.volumeNow = 0.0f;

  BlockDrive block = blockDrive(engine, in);
  if (F == 1) {
    for (std::int32_t i = 0; i < frameCount; ++i) {
      float y = renderSample(engine, in, block);
      // Non-finite values never leave the engine, whatever the controls.
      if (!std::isfinite(y)) {
        y = 0.0f;
        engine.dcInPrev = engine.dcOutPrev = 0.0f;
      }
      for (std::int32_t ch = 0; ch < channelCount; ++ch) outputs[ch][i] += y;
    }
  } else {
    renderOversampled(engine, in, block, F, outputs, channelCount, frameCount);
  }

  engine.ledLevel = k.supply > 0.0f ? std::min(engine.gateVoltage / k.supply, 1.0f) : 0.0f;

  const std::int32_t used = engine.lastUsed = budget + credit - engine.budgetLeft;
  engine.worstUsed = std::max(engine.worstUsed, used);

  const double elapsed = steadySeconds() - engine.blockStartTime;
  const double load = elapsed / blockTime;
  engine.worstLoad = std::max(engine.worstLoad, load);
  if (load > 1.0) engine.lateBlocks += 1;
  if (used > 50 && elapsed > 0.0)
    engine.measuredCost += static_cast<float>(elapsed / used - engine.measuredCost) * 0.05f;
  if (k.adaptiveCost && used > 200 && elapsed > 0.0) {
    const float m = std::clamp(static_cast<float>(elapsed / used), 1.2e-7f, 6e-7f);
    engine.costPerEvaluation += (m - engine.costPerEvaluation) * 0.1f;
  }
  engine.budgetCredit = std::max(engine.budgetLeft, 0);
  if (engine.budgetLeft < 1) engine.exhaustedBlocks += 1;
  engine.blockCount += 1;
}

}  // namespace corva
