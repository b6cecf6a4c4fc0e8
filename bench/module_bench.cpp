// CPU per second of audio of the VST3 module driven by an in-process host, against the
// engine and effects rendered directly, at 48 kHz with default settings and the trigger
// held in both, so that both measure the instrument sounding.
// Usage: corva-module-bench [rounds] [block size] [seconds per turn]
//
// The two take short turns, alternately first, each keeping its state from turn to turn;
// each round compares the two turns' CPU time on this thread, and the median of those
// ratios is the wrapper's share. Turns this short see the same load from the rest of the
// machine, which whole separate runs on a shared machine do not. The module's idle timer
// thread, which a host runs in real time, is added at its CPU per second of wall time.

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "engine/circuit_engine.h"
#include "engine/denormals.h"
#include "engine/effects_chain.h"
#include "model/param_table.h"
#include "plugin/param_snapshot.h"
#include "tests/vst3/test_host.h"

namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

constexpr double kRate = 48000.0;

double CpuSeconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The engine and effects alone, as the plug-in's block processing drives them.
class EngineAlone {
 public:
  explicit EngineAlone(int block) : mL(static_cast<size_t>(block)), mR(static_cast<size_t>(block)) {
    double values[corva::kNumParams];
    for (int i = 0; i < corva::kNumParams; ++i) values[i] = corva::kParamTable[i].defaultValue;
    values[corva::kTrigger] = 1.0;
    if (!corva::prepareEngine(*mEngine, kRate)) {
      std::fprintf(stderr, "corva-module-bench: the engine does not play at %g Hz\n", kRate);
      std::exit(1);
    }
    corva::prepareEffects(*mEffects, kRate);
    mEngine->controls = corva::engineControlsFromParams(values);
    const corva::EffectParams fx = corva::effectParamsFromParams(values);
    corva::setEchoParams(mEffects->echo, fx.echoOn, fx.echoFeedback, fx.echoTimeMs);
    corva::setReverbAmount(mEffects->reverb, fx.reverbAmount);
  }

  void render(long blocks) {
    float* out[2] = {mL.data(), mR.data()};
    const int n = static_cast<int>(mL.size());
    for (long b = 0; b < blocks; ++b) {
      corva::flushDenormals();  // the plug-in's mode for its blocks
      std::fill(mL.begin(), mL.end(), 0.0f);
      std::fill(mR.begin(), mR.end(), 0.0f);
      corva::renderCircuitBlock(*mEngine, out, 2, n);
      corva::processEffects(*mEffects, out, 2, n);
    }
  }

 private:
  std::unique_ptr<corva::CircuitEngine> mEngine = std::make_unique<corva::CircuitEngine>();
  std::unique_ptr<corva::EffectsChain> mEffects = std::make_unique<corva::EffectsChain>();
  std::vector<float> mL, mR;
};

// The module, with process calls made as a host makes them.
class ModuleHost {
 public:
  ModuleHost(IPluginFactory* factory, int block)
      : mInst(factory), mL(static_cast<size_t>(block)), mR(static_cast<size_t>(block)) {
    if (!mInst.ok() || mInst.start(kRate, block) != kResultOk) {
      std::fprintf(stderr, "the module did not start\n");
      std::exit(1);
    }
    mChannels[0] = mL.data();
    mChannels[1] = mR.data();
    mBus.numChannels = 2;
    mBus.channelBuffers32 = mChannels;
    mData.processMode = kRealtime;
    mData.symbolicSampleSize = kSample32;
    mData.numSamples = block;
    mData.numOutputs = 1;
    mData.outputs = &mBus;
    mData.inputEvents = &mNoEvents;
    // The first block holds the trigger, as the engine-alone run does; the rest change nothing.
    corvatest::ParamChanges hold;
    hold.add(corva::kTrigger, 0, 1.0);
    mData.inputParameterChanges = &hold;
    mInst.processor()->process(mData);
    mData.inputParameterChanges = &mNoChanges;
  }

  void render(long blocks) {
    for (long b = 0; b < blocks; ++b) mInst.processor()->process(mData);
  }

  // Whether the last block carried any sound.
  bool sounding() const {
    return std::any_of(mL.begin(), mL.end(), [](float s) { return s != 0.0f; });
  }

 private:
  corvatest::Instance mInst;
  std::vector<float> mL, mR;
  float* mChannels[2] = {};
  AudioBusBuffers mBus;
  ProcessData mData;
  corvatest::ParamChanges mNoChanges;
  corvatest::EventList mNoEvents;
};

template <class T>
double TurnCpu(T& renderer, long blocks) {
  const double t0 = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
  renderer.render(blocks);
  return CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - t0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 60;
  const int block = argc > 2 ? std::atoi(argv[2]) : 512;
  const double turn = argc > 3 ? std::atof(argv[3]) : 0.25;
  if (rounds <= 0 || block <= 0 || !(turn > 0.0)) {
    std::fprintf(stderr, "usage: %s [rounds] [block size] [seconds per turn]\n", argv[0]);
    return 2;
  }
  corvatest::Module module(corvatest::ModulePath());
  if (!module.ok()) {
    std::fprintf(stderr, "cannot load %s: %s\n", corvatest::ModulePath().c_str(), module.error().c_str());
    return 1;
  }
  EngineAlone engine(block);
  ModuleHost plug(module.factory(), block);
  const long blocks = std::max(1L, long(turn * kRate / block));
  const double audio = double(blocks) * block / kRate;
  engine.render(blocks);  // warm both up
  plug.render(blocks);
  if (!plug.sounding()) {
    std::fprintf(stderr, "the module is silent with the trigger held\n");
    return 1;
  }

  std::vector<double> engineCost, moduleCost, ratio;
  const double wall0 = WallSeconds();
  const double process0 = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID), thread0 = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
  for (int r = 0; r < rounds; ++r) {
    double e = 0.0, m = 0.0;
    if (r % 2 == 0) {
      e = TurnCpu(engine, blocks);
      m = TurnCpu(plug, blocks);
    } else {
      m = TurnCpu(plug, blocks);
      e = TurnCpu(engine, blocks);
    }
    engineCost.push_back(e / audio);
    moduleCost.push_back(m / audio);
    ratio.push_back(m / e);
  }
  const double wall = WallSeconds() - wall0;
  // Everything this process spent on other threads: the module's idle timer.
  const double idle = ((CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - process0) -
                       (CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - thread0)) /
                      wall;

  const double e = Median(engineCost), m = Median(moduleCost), share = Median(ratio) - 1.0;
  std::printf("48 kHz, default settings, trigger held, %d-frame blocks, %d rounds of %.2f s turns\n", block, rounds,
              audio);
  std::printf("engine alone        %.4f s CPU per s of audio\n", e);
  std::printf("VST3 module         %.4f s CPU per s of audio (rendering thread)\n", m);
  std::printf("  idle timer        %.4f s CPU per s\n", idle);
  std::printf("wrapper adds        %+.2f %% rendering, %+.2f %% with the idle timer\n", share * 100.0,
              (share + idle / e) * 100.0);
  std::vector<double> sorted = ratio;
  std::sort(sorted.begin(), sorted.end());
  std::printf("round ratios        quartiles %.4f %.4f %.4f\n", sorted[sorted.size() / 4], sorted[sorted.size() / 2],
              sorted[sorted.size() * 3 / 4]);
  return 0;
}
