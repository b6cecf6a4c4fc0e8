// CPU per second of audio of the VST3 module driven by an in-process host, against the
// engine and effects rendered directly, at 48 kHz with default settings.
// Usage: corva-module-bench [seconds per run] [block size] [runs]

#include <time.h>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "engine/circuit_engine.h"
#include "engine/effects_chain.h"
#include "plugin/param_snapshot.h"
#include "plugin/param_table.h"
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

// CPU seconds per second of audio: of the whole process (the module's idle timer thread
// included) and of the rendering thread alone.
struct Cost {
  double process = 1e9;
  double thread = 1e9;
};

class Meter {
 public:
  Meter() : mProcess(CpuSeconds(CLOCK_PROCESS_CPUTIME_ID)), mThread(CpuSeconds(CLOCK_THREAD_CPUTIME_ID)) {}
  Cost stop(double audioSeconds) const {
    return {(CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - mProcess) / audioSeconds,
            (CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - mThread) / audioSeconds};
  }

 private:
  double mProcess, mThread;
};

void KeepBest(Cost& best, const Cost& c) {
  best.process = std::min(best.process, c.process);
  best.thread = std::min(best.thread, c.thread);
}

// The same floating-point mode the plug-in sets for its blocks.
void FlushDenormals() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_setcsr(_mm_getcsr() | 0x8040);
#endif
}

// The engine and effects alone.
Cost EngineRun(double seconds, int block) {
  auto engine = std::make_unique<corva::CircuitEngine>();
  auto effects = std::make_unique<corva::EffectsChain>();
  double values[corva::kNumParams];
  for (int i = 0; i < corva::kNumParams; ++i) values[i] = corva::kParamTable[i].defaultValue;
  corva::prepareEngine(*engine, kRate);
  corva::prepareEffects(*effects, kRate);
  engine->controls = corva::engineControlsFromParams(values);
  const corva::EffectParams fx = corva::effectParamsFromParams(values);
  corva::setEchoParams(effects->echo, fx.echoOn, fx.echoFeedback, fx.echoTimeMs);
  corva::setReverbAmount(effects->reverb, fx.reverbAmount);
  std::vector<float> l(static_cast<size_t>(block)), r(static_cast<size_t>(block));
  float* out[2] = {l.data(), r.data()};
  const long blocks = long(seconds * kRate / block);
  FlushDenormals();
  const Meter meter;
  for (long b = 0; b < blocks; ++b) {
    std::fill(l.begin(), l.end(), 0.0f);
    std::fill(r.begin(), r.end(), 0.0f);
    corva::renderCircuitBlock(*engine, out, 2, block);
    corva::processEffects(*effects, out, 2, block);
  }
  return meter.stop(double(blocks) * block / kRate);
}

// The module, with process calls made as a host makes them.
Cost ModuleRun(IPluginFactory* factory, double seconds, int block) {
  corvatest::Instance inst(factory);
  if (!inst.ok() || inst.start(kRate, block) != kResultOk) {
    std::fprintf(stderr, "the module did not start\n");
    std::exit(1);
  }
  std::vector<float> l(static_cast<size_t>(block)), r(static_cast<size_t>(block));
  float* ch[2] = {l.data(), r.data()};
  AudioBusBuffers bus;
  bus.numChannels = 2;
  bus.channelBuffers32 = ch;
  ProcessData data;
  data.processMode = kRealtime;
  data.symbolicSampleSize = kSample32;
  data.numSamples = block;
  data.numOutputs = 1;
  data.outputs = &bus;
  corvatest::ParamChanges noChanges;
  corvatest::EventList noEvents;
  data.inputParameterChanges = &noChanges;
  data.inputEvents = &noEvents;
  const long blocks = long(seconds * kRate / block);
  const Meter meter;
  for (long b = 0; b < blocks; ++b) inst.processor()->process(data);
  return meter.stop(double(blocks) * block / kRate);
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
  const int block = argc > 2 ? std::atoi(argv[2]) : 512;
  const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
  if (!(seconds > 0.0) || block <= 0 || runs <= 0) {
    std::fprintf(stderr, "usage: %s [seconds per run] [block size] [runs]\n", argv[0]);
    return 2;
  }
  corvatest::Module module(corvatest::ModulePath());
  if (!module.ok()) {
    std::fprintf(stderr, "cannot load %s: %s\n", corvatest::ModulePath().c_str(), module.error().c_str());
    return 1;
  }
  // Runs alternate, and the fastest of each counts: on a shared machine the minimum is
  // the figure least disturbed by other work.
  Cost engine, plugin;
  for (int i = 0; i < runs; ++i) {
    KeepBest(engine, EngineRun(seconds, block));
    KeepBest(plugin, ModuleRun(module.factory(), seconds, block));
  }
  std::printf("48 kHz, default settings, %d-frame blocks, best of %d runs of %.1f s of audio\n", block, runs,
              seconds);
  std::printf("CPU s per s of audio   whole process   rendering thread\n");
  std::printf("engine alone           %13.4f   %16.4f\n", engine.process, engine.thread);
  std::printf("VST3 module            %13.4f   %16.4f\n", plugin.process, plugin.thread);
  std::printf("wrapper adds           %+12.2f%%   %+15.2f%%\n", (plugin.process / engine.process - 1.0) * 100.0,
              (plugin.thread / engine.thread - 1.0) * 100.0);
  return 0;
}
