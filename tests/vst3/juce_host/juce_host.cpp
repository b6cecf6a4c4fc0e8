// A debug build of a JUCE-based host over the module. It loads the bundle through JUCE's
// VST3 hosting, plays notes (a 5 ms one among them) on an audio thread of its own while
// its message thread keeps running, changes the latency and a parameter, and round-trips
// the state from the message thread. Every JUCE assertion is printed; the run fails on
// any but one: JUCE checks that restartComponent arrives on its message thread, and a
// host that offers the plug-in no run loop while no editor is open gets restarts from
// the plug-in's own timer thread (JUCE passes them on to its message thread itself).
#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {
std::mutex gAssertMutex;
std::vector<std::string> gUnexpected;
int gRestartsOffThread = 0;
}  // namespace

void corvaJuceAssertion(const char* file, int line, const char* function) {
  std::lock_guard<std::mutex> lock(gAssertMutex);
  const bool messageThread = juce::MessageManager::existsAndIsCurrentThread();
  std::fprintf(stderr, "JUCE assertion: %s:%d in %s (%s)\n", file, line, function,
               messageThread ? "message thread" : "another thread");
  if (!messageThread && std::strstr(function, "restartComponent")) {
    ++gRestartsOffThread;
    return;
  }
  gUnexpected.push_back(std::string(file) + ":" + std::to_string(line) + " " + function);
}

namespace {
juce::AudioProcessorParameter* findParameter(juce::AudioPluginInstance& plugin, const char* name) {
  for (auto* p : plugin.getParameters())
    if (p->getName(64) == name) return p;
  return nullptr;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <bundle>\n", argv[0]);
    return 2;
  }
  int failures = 0;
  auto check = [&](bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAIL", what);
    if (!ok) ++failures;
  };
  {
    juce::ScopedJuceInitialiser_GUI init;
    juce::VST3PluginFormat format;
    juce::OwnedArray<juce::PluginDescription> types;
    format.findAllTypesForFile(types, argv[1]);
    if (types.isEmpty()) {
      std::printf("FAIL: JUCE found no plug-in in %s\n", argv[1]);
      return 1;
    }
    std::printf("found %s by %s, instrument %d\n", types[0]->name.toRawUTF8(), types[0]->manufacturerName.toRawUTF8(),
                int(types[0]->isInstrument));
    juce::String error;
    auto plugin = format.createInstanceFromDescription(*types[0], 48000.0, 256, error);
    if (!plugin) {
      std::printf("FAIL: %s\n", error.toRawUTF8());
      return 1;
    }
    plugin->enableAllBuses();
    plugin->prepareToPlay(48000.0, 256);
    const int latencyBefore = plugin->getLatencySamples();

    std::atomic<bool> stop{false};
    std::atomic<float> peak{0.0f};
    std::thread audio([&] {
      juce::AudioBuffer<float> buffer(2, 256);
      for (int block = 0; !stop.load(); ++block) {
        juce::MidiBuffer midi;
        if (block % 16 == 0) midi.addEvent(juce::MidiMessage::noteOn(1, 60, juce::uint8(100)), 10);
        if (block % 16 == 4) midi.addEvent(juce::MidiMessage::noteOff(1, 60), 0);
        if (block % 16 == 8) {
          midi.addEvent(juce::MidiMessage::noteOn(1, 62, juce::uint8(100)), 0);
          midi.addEvent(juce::MidiMessage::noteOff(1, 62), 240);
        }
        buffer.clear();
        plugin->processBlock(buffer, midi);
        peak.store(std::max(peak.load(), buffer.getMagnitude(0, 0, 256)));
        std::this_thread::sleep_for(std::chrono::microseconds(5333));  // about real time
      }
    });

    auto* oversample = findParameter(*plugin, "Oversample");
    auto* volume = findParameter(*plugin, "Volume");
    check(oversample && volume, "the parameters are named as the instrument names them");
    bool stateOk = false;
    juce::MemoryBlock state;
    for (int step = 0; step < 100; ++step) {
      juce::MessageManager::getInstance()->runDispatchLoopUntil(20);
      if (step == 30 && oversample) oversample->setValueNotifyingHost(0.0f);
      if (step % 10 == 5 && step < 60 && volume) volume->setValueNotifyingHost(step % 20 == 5 ? 0.9f : 0.8f);
      // The state is saved with the volume at 0.8 and restored over 0.3.
      if (step == 60) plugin->getStateInformation(state);
      if (step == 62 && volume) volume->setValueNotifyingHost(0.3f);
      if (step == 64) plugin->setStateInformation(state.getData(), int(state.getSize()));
      if (step == 70 && volume) stateOk = state.getSize() > 0 && std::abs(volume->getValue() - 0.8f) < 1e-6f;
    }
    stop = true;
    audio.join();
    check(peak.load() > 0.01f, "the notes sound");
    check(plugin->getLatencySamples() < latencyBefore, "a lower oversampling lowers the latency JUCE reports");
    check(stateOk, "a restored state brings its volume back");
    plugin->releaseResources();
    plugin.reset();
  }
  std::printf("restarts off the message thread: %d\n", gRestartsOffThread);
  for (const auto& a : gUnexpected) std::printf("FAIL: JUCE assertion %s\n", a.c_str());
  failures += int(gUnexpected.size());
  std::printf("%s\n", failures == 0 ? "PASS" : "FAIL");
  return failures == 0 ? 0 : 1;
}
