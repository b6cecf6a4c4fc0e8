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

void CorvaPlug::OnParamChange(int) { paramsDirty.store(true); }

void CorvaPlug::takeParamSnapshot() {
  double values[kNumParams];
  for (int i = 0; i < kNumParams; ++i) values[i] = GetParam(i)->Value();

  engine.controls = engineControlsFromParams(values);

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

  if (outputs && outputs[0] && outputs[1]) {
    std::fill_n(outputs[0], frames, 0.0f);
    std::fill_n(outputs[1], frames, 0.0f);
    renderCircuitBlock(engine, outputs, 2, frames);
    processEffects(effects, outputs, 2, frames);
  }

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

void CorvaPlug::writeStatsLine() {
  char line[512];
  const int n = formatStatsLine(line, sizeof line, engine, roundedPosition(GetParam(kMode)->Value()),
                                roundedPosition(GetParam(kSpeed)->Value()), roundedPosition(GetParam(kTone)->Value()));
  if (n > 0) (void)std::fwrite(line, 1, static_cast<std::size_t>(n), stderr);
  resetEngineStats(engine);
}

void CorvaPlug::ProcessMidiMsg(const iplug::IMidiMsg& msg) {
  const std::uint64_t slots = midiRing.size();
  const std::uint64_t write = midiWrite.load(std::memory_order_relaxed);
  const std::uint64_t next = (write + 1) % slots;
  if (next == midiRead.load(std::memory_order_acquire)) return;  // full: dropped
  midiRing[write] = msg;
  midiWrite.store(next, std::memory_order_release);
}

bool CorvaPlug::takeMidiMsg(iplug::IMidiMsg& msg) {
  const std::uint64_t read = midiRead.load(std::memory_order_relaxed);
  if (read == midiWrite.load(std::memory_order_acquire)) return false;
  msg = midiRing[read];
  midiRead.store((read + 1) % midiRing.size(), std::memory_order_release);
  return true;
}

void CorvaPlug::OnReset() {
  const double rate = GetSampleRate();
  prepareEngine(engine, rate);
  prepareEffects(effects, rate);
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
