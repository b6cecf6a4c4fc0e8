// Cost of the effects chain per second of audio at 48 kHz, in 64-frame blocks
// on two channels, for each combination of echo and reverb.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "engine/denormals.h"
#include "engine/effects_chain.h"

namespace {

void chainSecond(benchmark::State& state) {
  const bool echo = state.range(0) != 0;
  const float reverb = state.range(1) != 0 ? 0.6f : 0.0f;
  corva::flushDenormals();  // as the plug-in sets it for every block
  constexpr int kRate = 48000;
  constexpr int kBlock = 64;
  corva::EffectsChain chain;
  chain.echoOn = echo;
  chain.echoFeedback = 0.6f;
  chain.echoTimeMs = 330.0f;
  chain.reverbAmount = reverb;
  corva::prepareEffects(chain, kRate);

  // A loud, bright tone so the limiter works too.
  std::vector<float> source(kRate);
  for (int i = 0; i < kRate; ++i) {
    const float t = static_cast<float>(i) / kRate;
    source[static_cast<size_t>(i)] = 1.3f * std::sin(6.2831853f * 440.0f * t) * (i % 4800 < 2400 ? 1.0f : 0.2f);
  }
  std::vector<float> left(kBlock), right(kBlock);
  float* outs[2] = {left.data(), right.data()};
  for (auto _ : state) {
    for (int at = 0; at < kRate; at += kBlock) {
      std::copy(source.begin() + at, source.begin() + at + kBlock, left.begin());
      corva::processEffects(chain, outs, 2, kBlock);
    }
    benchmark::DoNotOptimize(left.data());
    benchmark::ClobberMemory();
  }
  state.SetLabel(std::string(echo ? "echo on" : "echo off") + (reverb > 0 ? ", reverb on" : ", reverb off"));
  // One iteration is one second of audio: the time per iteration is CPU time per second of audio.
  state.counters["realtime_x"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate);
}

BENCHMARK(chainSecond)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();
