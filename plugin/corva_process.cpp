// The audio side: block processing, the MIDI ring's producer, reset and change marking.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/denormals.h"
#include "plugin/corva_plug.h"
#include "plugin/param_snapshot.h"
#include "plugin/stats_line.h"

using namespace corva;

namespace {

int roundedPosition(double v) { return static_cast<int>(std::round(v)); }

}  // namespace

void CorvaPlug::OnParamChange(int paramIdx) {
  // Counted before the flag is set, so that the snapshot the flag calls for sees it.
  if (paramIdx == kTrigger && !followingGate.load(std::memory_order_relaxed))
    triggerGeneration.fetch_add(1, std::memory_order_release);
  paramsDirty.store(true);
}

void CorvaPlug::takeParamSnapshot() {
  // Read before the values: a trigger write made before the count is then in them.
  const std::uint32_t generation = triggerGeneration.load(std::memory_order_acquire);
  double values[kNumParams];
  for (int i = 0; i < kNumParams; ++i) values[i] = GetParam(i)->Value();

  // The gate keeps what the notes made of it unless the trigger was set some other way.
  const std::uint8_t gate = engine.controls.trigger;
  engine.controls = engineControlsFromParams(values);
  if (generation == triggerGenerationSeen) engine.controls.trigger = gate;
  else triggerGenerationSeen = generation;

  const EffectParams fx = effectParamsFromParams(values);
  effects.echoOn = fx.echoOn;
  effects.echoFeedback = fx.echoFeedback;
  effects.echoTimeMs = fx.echoTimeMs;
  effects.reverbAmount = fx.reverbAmount;
  setEchoParams(effects.echo, effects.echoOn, effects.echoFeedback, effects.echoTimeMs);
  setReverbAmount(effects.reverb, effects.reverbAmount);

  const std::int32_t l = computeLatency(*this);
  if (l != latency) {
    latency = l;
    pendingLatency.store(l, std::memory_order_relaxed);
  }
}

void CorvaPlug::ProcessBlock(iplug::sample** /*inputs*/, iplug::sample** outputs, int nFrames) {
  flushDenormals();
  const int frames = std::max(nFrames, 0);

  // Cleared before the copy, so a change landing during it is taken by the next block.
  if (paramsDirty.exchange(false)) takeParamSnapshot();
  // The first block that renders after construction or a reset starts at the parameters'
  // values: a fresh, a restored and a reset instance then play the same samples.
  if (settlePending && frames > 0) {
    settlePending = false;
    settleSmoothing(engine);
    settleSmoothing(effects);
  }

  // The block is rendered in spans that end where a note opens or closes the gate.
  int done = 0;
  for (int i = 0; i < gateEvents.count; ++i) {
    const GateEvents::Event& e = gateEvents.events[static_cast<std::size_t>(i)];
    const int at = std::clamp(static_cast<int>(e.offset), done, frames);
    renderSpan(outputs, done, at);
    done = at;
    engine.controls.trigger = e.on ? 1 : 0;
  }
  gateEvents.count = 0;
  renderSpan(outputs, done, frames);

  if (statsLoggingOn()) {
    logFrames += static_cast<std::uint32_t>(frames);
    const double rate = std::min(GetSampleRate(), 4294967295.0);
    if (logFrames >= static_cast<std::uint32_t>(rate)) {
      writeStatsLine();
      logFrames = 0;
    }
  }

  ledLevel.store(engine.ledLevel, std::memory_order_relaxed);
}

void CorvaPlug::renderSpan(iplug::sample** outputs, int from, int to) {
  if (to <= from || !outputs || !outputs[0] || !outputs[1]) return;
  iplug::sample* span[2] = {outputs[0] + from, outputs[1] + from};
  const int n = to - from;
  std::fill_n(span[0], n, 0.0f);
  std::fill_n(span[1], n, 0.0f);
  renderCircuitBlock(engine, span, 2, n);
  processEffects(effects, span, 2, n);
}

void CorvaPlug::writeStatsLine() {
  char line[512];
  const int n = formatStatsLine(line, sizeof line, engine, roundedPosition(GetParam(kMode)->Value()),
                                roundedPosition(GetParam(kSpeed)->Value()), roundedPosition(GetParam(kTone)->Value()));
  if (n > 0) (void)std::fwrite(line, 1, static_cast<std::size_t>(n), stderr);
  resetEngineStats(engine);
}

void CorvaPlug::ProcessMidiMsg(const iplug::IMidiMsg& msg) {
  // A note that plays the trigger sounds at its offset in the coming block, even when
  // the ring has no room left for the idle handler's copy.
  bool on = false;
  const bool gated = noteGateRouting.gateFor(msg.mStatus, msg.mData1, msg.mData2, on);
  std::uint32_t change = 0;
  if (gated) {
    gateEvents.add(msg.mOffset, on);
    change = ++gateChanges;
    latestGateMsg.store(
        std::uint64_t{change} << 32 | std::uint64_t{msg.mStatus} << 16 | std::uint64_t{msg.mData1} << 8 | msg.mData2,
        std::memory_order_release);
  }

  (void)midiRing.Push({msg, gated, change});  // false when full: the message is dropped
}

bool CorvaPlug::takeMidiMsg(iplug::IMidiMsg& msg, bool* gated, std::uint32_t* gateChange) {
  QueuedMidiMsg queued;
  if (!midiRing.Pop(queued)) return false;
  msg = queued.msg;
  if (gated) *gated = queued.gated;
  if (gateChange) *gateChange = queued.gateChange;
  return true;
}

void CorvaPlug::OnReset() {
  const double rate = GetSampleRate();
  const bool renderable = prepareEngine(engine, rate);
  // A rate the engine refuses leaves it silent: said once until a rate it takes comes.
  // A reset runs on the thread that sets the plug-in up, never on the audio thread.
  if (!renderable && !sampleRateRefused)
    std::fprintf(stderr,
                 "Corva: cannot play at %.10g Hz (only %.0f to %.0f Hz); silent until the sample rate changes\n", rate,
                 kMinEngineRate, kMaxEngineRate);
  sampleRateRefused = !renderable;
  prepareEffects(effects, rate);
  settlePending = true;
  const std::int32_t l = computeLatency(*this);
  latency = l;
  pendingLatency.store(l, std::memory_order_relaxed);
  reportLatency(l);
}

void CorvaPlug::reportLatency(std::int32_t value) {
  if (latencyReportRunning.exchange(true)) return;  // the running report picks it up via pendingLatency
  reportedLatency.store(value, std::memory_order_relaxed);
  SetLatency(value);
  latencyReportRunning.store(false);
}
