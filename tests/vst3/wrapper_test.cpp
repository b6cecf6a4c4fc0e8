// The VST3 wrapper driven through its VST3 interfaces, on a small plug-in that records
// what reaches it.

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "framework/iplug_vst3.h"
#include "framework/vst3_factory.h"
#include "pluginterfaces/base/ustring.h"
#include "tests/vst3/test_host.h"

namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;
using corvatest::EventList;
using corvatest::Instance;
using corvatest::ParamChanges;

iplug::Config FakeConfig() {
  iplug::Config c;
  c.nParams = 3;
  c.channelIOStr = "0-2";
  c.pluginName = "Fake";
  c.plugDoesMidiIn = true;
  c.plugType = iplug::kPlugTypeInstrument;
  return c;
}

class FakePlug : public iplug::IPlugVST3 {
 public:
  struct Change {
    int idx;
    iplug::EParamSource source;
    int offset;
  };

  FakePlug() : IPlugVST3(iplug::InstanceInfo{}, FakeConfig()) {
    GetParam(0)->InitEnum("Tone", 1, 4);
    for (int i = 0; i < 4; ++i) GetParam(0)->SetDisplayText(i, kTexts[i]);
    GetParam(1)->InitDouble("Volume", 1.0, 0.0, 1.0, 0.001);
    GetParam(2)->InitDouble("LED Level", 0.0, 0.0, 1.0, 0.001, "", iplug::kFlagCannotAutomate);
  }

  void ProcessMidiMsg(const iplug::IMidiMsg& msg) override {
    if (nMidi < midi.size()) midi[nMidi++] = msg;
  }
  void OnParamChange(int idx, iplug::EParamSource source, int offset) override {
    if (nChanges < changes.size()) changes[nChanges++] = {idx, source, offset};
  }
  void ProcessBlock(iplug::sample**, iplug::sample** outputs, int nFrames) override {
    ++blocks;
    maxFrames = std::max(maxFrames, nFrames);
    const float v = static_cast<float>(GetParam(1)->Value());
    for (int i = 0; i < nFrames; ++i) {
      outputs[0][i] = v * static_cast<float>(i % 7);
      outputs[1][i] = -v;
    }
  }
  void OnReset() override {
    ++resets;
    SetLatency(latencyToReport);
  }
  void OnIdle() override {
    ++idles;
    ++busy;
    std::this_thread::sleep_for(std::chrono::microseconds(300));
    --busy;
  }
  void OnParamChangeUI(int, iplug::EParamSource) override {
    // Interface-thread state: never touched while an idle tick runs.
    if (busy.load() != 0) ++overlaps;
  }

  static constexpr const char* kTexts[4] = {"1", "2", "3", "4"};
  std::array<iplug::IMidiMsg, 64> midi{};
  size_t nMidi = 0;
  std::array<Change, 64> changes{};
  size_t nChanges = 0;
  int blocks = 0, maxFrames = 0, resets = 0;
  int latencyToReport = 0;
  std::atomic<int> idles{0};
  std::atomic<int> busy{0};
  std::atomic<int> overlaps{0};
};

FUnknown* CreateFake(void*) { return static_cast<IAudioProcessor*>(new FakePlug()); }

// A factory offering the fake plug-in, as a module would.
class WrapperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PFactoryInfo info;
    mFactory = new iplug::VST3Factory(info, nullptr);
    PClassInfo2 c;
    for (int i = 0; i < 16; ++i) c.cid[i] = static_cast<char>(i + 1);
    iplug::CopyField(c.category, "Audio Module Class", PClassInfo::kCategorySize);
    EXPECT_TRUE(mFactory->registerClass(&c, &CreateFake, nullptr));
    inst = std::make_unique<Instance>(mFactory);
    ASSERT_TRUE(inst->ok());
    plug = dynamic_cast<FakePlug*>(inst->processor());
    ASSERT_NE(plug, nullptr);
  }
  void TearDown() override {
    inst.reset();
    mFactory->release();
  }

  iplug::VST3Factory* mFactory = nullptr;
  std::unique_ptr<Instance> inst;
  FakePlug* plug = nullptr;
};

// Waits up to 2 s for `done`, as for a notification the idle timer delivers.
template <class Pred>
bool WaitFor(Pred done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

std::string ParamString(IEditController* c, ParamID id, double normalized) {
  String128 s;
  EXPECT_EQ(c->getParamStringByValue(id, normalized, s), kResultOk);
  char buf[129];
  UString(s, 128).toAscii(buf, 128);
  return buf;
}

TEST_F(WrapperTest, ParametersAsTheHostSeesThem) {
  IEditController* c = inst->controller();
  ASSERT_EQ(c->getParameterCount(), 3 + 130);
  ParameterInfo p;
  ASSERT_EQ(c->getParameterInfo(0, p), kResultOk);
  EXPECT_EQ(p.id, 0u);
  EXPECT_EQ(p.stepCount, 3);
  EXPECT_EQ(p.flags, ParameterInfo::kCanAutomate | ParameterInfo::kIsList);
  EXPECT_DOUBLE_EQ(p.defaultNormalizedValue, 1.0 / 3.0);
  ASSERT_EQ(c->getParameterInfo(1, p), kResultOk);
  EXPECT_EQ(p.stepCount, 0);
  EXPECT_EQ(p.flags, ParameterInfo::kCanAutomate);
  ASSERT_EQ(c->getParameterInfo(2, p), kResultOk);
  EXPECT_EQ(p.flags, 0) << "a parameter that cannot be automated is not offered for automation";
  ASSERT_EQ(c->getParameterInfo(3, p), kResultOk);
  EXPECT_EQ(p.id, iplug::IPlugVST3::kMIDICCParamStartIdx);
  EXPECT_TRUE(p.flags & ParameterInfo::kIsHidden);
  EXPECT_FALSE(p.flags & ParameterInfo::kCanAutomate);

  EXPECT_EQ(ParamString(c, 0, 2.0 / 3.0), "3");
  EXPECT_EQ(ParamString(c, 1, 0.25), "0.250");
  ParamValue n = -1;
  String128 text;
  UString(text, 128).fromAscii("4");
  EXPECT_EQ(c->getParamValueByString(0, text, n), kResultOk);
  EXPECT_DOUBLE_EQ(n, 1.0);
  EXPECT_DOUBLE_EQ(c->normalizedParamToPlain(0, 2.0 / 3.0), 2.0);

  ParamID id = 0;
  auto* mapping = dynamic_cast<IMidiMapping*>(plug);
  ASSERT_EQ(mapping->getMidiControllerAssignment(0, 0, 64, id), kResultTrue);
  EXPECT_EQ(id, iplug::IPlugVST3::kMIDICCParamStartIdx + 64);
  EXPECT_EQ(mapping->getMidiControllerAssignment(0, 1, 64, id), kResultFalse);
  EXPECT_EQ(mapping->getMidiControllerAssignment(0, 0, 130, id), kResultFalse);
}

TEST_F(WrapperTest, BusesAndSampleSizes) {
  IComponent* comp = inst->component();
  EXPECT_EQ(comp->getBusCount(kAudio, kInput), 0);
  EXPECT_EQ(comp->getBusCount(kAudio, kOutput), 1);
  EXPECT_EQ(comp->getBusCount(kEvent, kInput), 1);
  EXPECT_EQ(comp->getBusCount(kEvent, kOutput), 0);
  BusInfo bus{};
  ASSERT_EQ(comp->getBusInfo(kAudio, kOutput, 0, bus), kResultOk);
  EXPECT_EQ(bus.channelCount, 2);
  EXPECT_EQ(comp->getBusInfo(kAudio, kInput, 0, bus), kInvalidArgument);
  SpeakerArrangement stereo = SpeakerArr::kStereo, mono = SpeakerArr::kMono;
  EXPECT_EQ(inst->processor()->setBusArrangements(nullptr, 0, &stereo, 1), kResultTrue);
  EXPECT_EQ(inst->processor()->setBusArrangements(nullptr, 0, &mono, 1), kResultFalse);
  EXPECT_EQ(inst->processor()->canProcessSampleSize(kSample32), kResultTrue);
  EXPECT_EQ(inst->processor()->canProcessSampleSize(kSample64), kResultTrue);
  ProcessSetup bad{kRealtime, 7, 512, 48000.0};
  EXPECT_EQ(inst->processor()->setupProcessing(bad), kResultFalse);
  ProcessSetup noRate{kRealtime, kSample32, 512, 0.0};
  EXPECT_NE(inst->processor()->setupProcessing(noRate), kResultOk);
}

TEST_F(WrapperTest, ParameterQueuesTakeTheLastPointAtItsOffset) {
  ASSERT_EQ(inst->start(44100.0, 256), kResultOk);
  ParamChanges changes;
  changes.add(1, 10, 0.2);
  changes.add(1, 100, 0.6);
  changes.add(0, 5000, 1.0);        // offset past the block: kept inside it
  changes.add(2, 3, std::nan(""));  // not a number: ignored
  plug->nChanges = 0;
  ASSERT_EQ(inst->process(128, &changes), kResultOk);
  ASSERT_EQ(plug->nChanges, 2u);
  EXPECT_EQ(plug->changes[0].idx, 1);
  EXPECT_EQ(plug->changes[0].source, iplug::kHost);
  EXPECT_EQ(plug->changes[0].offset, 100);
  EXPECT_DOUBLE_EQ(plug->GetParam(1)->Value(), 0.6);
  EXPECT_EQ(plug->changes[1].offset, 127);
  EXPECT_DOUBLE_EQ(plug->GetParam(0)->Value(), 3.0);
  EXPECT_DOUBLE_EQ(plug->GetParam(2)->Value(), 0.0);
}

TEST_F(WrapperTest, NotesAndControllersReachTheMidiInputRounded) {
  ASSERT_EQ(inst->start(44100.0, 256), kResultOk);
  EventList events;
  events.noteOn(17, 60, 0.5f, 2);  // 63.5: rounds to 64
  events.noteOff(40, 60, 0.0f, 2);
  events.noteOn(41, 62, 0.001f);  // rounds to 0, but a note-on stays one
  ParamChanges changes;
  changes.add(iplug::IPlugVST3::kMIDICCParamStartIdx + 64, 9, 64.0 / 127.0 - 1e-9);
  changes.add(iplug::IPlugVST3::kMIDICCParamStartIdx + kPitchBend, 0, 0.5);
  plug->nMidi = 0;
  ASSERT_EQ(inst->process(64, &changes, &events), kResultOk);
  ASSERT_EQ(plug->nMidi, 5u);
  const auto& m = plug->midi;
  EXPECT_EQ(m[0].mStatus, 0xB0);
  EXPECT_EQ(m[0].mData1, 64);
  EXPECT_EQ(m[0].mData2, 64) << "a controller value just under 64 must not arrive as 63";
  EXPECT_EQ(m[0].mOffset, 9);
  EXPECT_EQ(m[1].mStatus, 0xE0);
  EXPECT_EQ(m[1].mData1 | (m[1].mData2 << 7), 8192);
  EXPECT_EQ(m[2].mStatus, 0x92);
  EXPECT_EQ(m[2].mData1, 60);
  EXPECT_EQ(m[2].mData2, 64);
  EXPECT_EQ(m[2].mOffset, 17);
  EXPECT_EQ(m[3].mStatus, 0x82);
  EXPECT_EQ(m[3].mOffset, 40);
  EXPECT_EQ(m[4].mStatus, 0x90);
  EXPECT_EQ(m[4].mData2, 1);
}

TEST_F(WrapperTest, InterfaceEditsAreBracketedAndReachTheController) {
  plug->SendParameterValueFromUI(1, 0.25);
  // The host hears of it after the call, once the plug-in holds no lock.
  ASSERT_TRUE(WaitFor([&] { return inst->handler().edits().size() >= 3; }));
  const auto edits = inst->handler().edits();
  ASSERT_EQ(edits.size(), 3u);
  EXPECT_EQ(edits[0].kind, 'b');
  EXPECT_EQ(edits[1].kind, 'p');
  EXPECT_DOUBLE_EQ(edits[1].value, 0.25);
  EXPECT_EQ(edits[2].kind, 'e');
  for (const auto& e : edits) EXPECT_EQ(e.id, 1u);
  EXPECT_DOUBLE_EQ(inst->controller()->getParamNormalized(1), 0.25);
  auto* controller = dynamic_cast<EditController*>(plug);
  EXPECT_DOUBLE_EQ(controller->getParameterObject(1)->getNormalized(), 0.25);
}

TEST_F(WrapperTest, StateRoundTripsAndBadStateChangesNothing) {
  plug->GetParam(0)->Set(3);
  plug->GetParam(1)->Set(0.125);
  const std::vector<char> state = inst->getState();
  ASSERT_EQ(state.size(), 3 * sizeof(double) + sizeof(int32));

  Instance fresh(mFactory);
  ASSERT_EQ(fresh.setState(state), kResultOk);
  auto* other = dynamic_cast<FakePlug*>(fresh.processor());
  EXPECT_DOUBLE_EQ(other->GetParam(0)->Value(), 3.0);
  EXPECT_DOUBLE_EQ(other->GetParam(1)->Value(), 0.125);
  EXPECT_DOUBLE_EQ(fresh.controller()->getParamNormalized(0), 1.0);
  EXPECT_EQ(fresh.getState(), state);

  std::vector<char> shortState(state.begin(), state.begin() + 20);
  EXPECT_EQ(fresh.setState(shortState), kResultFalse);
  std::vector<char> nanState = state;
  const double nan = std::nan("");
  std::memcpy(nanState.data() + 8, &nan, sizeof nan);
  EXPECT_EQ(fresh.setState(nanState), kResultFalse);
  EXPECT_DOUBLE_EQ(other->GetParam(1)->Value(), 0.125);
  // Without the trailing flag the parameters are still read.
  std::vector<char> noFlag(state.begin(), state.begin() + 24);
  EXPECT_EQ(fresh.setState(noFlag), kResultOk);
}

TEST_F(WrapperTest, LatencyRestartsReachTheCallersThreadWithNoLockHeld) {
  auto& h = inst->handler();
  plug->latencyToReport = 66;
  const std::thread::id caller = std::this_thread::get_id();
  std::atomic<int> nested{0}, onCaller{0};
  std::vector<std::thread> others;
  std::atomic<int> othersThrough{0};
  h.onRestart = [&](int32) {
    if (std::this_thread::get_id() == caller) ++onCaller;
    // Another thread gets through a call that takes the plug-in's lock meanwhile.
    others.emplace_back([&] {
      inst->controller()->setParamNormalized(1, 0.5);
      ++othersThrough;
    });
    for (int i = 0; i < 2000 && othersThrough.load() < int(others.size()); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // A host that sets up processing again at once, which reports a new latency.
    ++nested;
    plug->latencyToReport = 70;
    ProcessSetup setup{kRealtime, kSample32, 512, 96000.0};
    inst->processor()->setupProcessing(setup);
  };
  ASSERT_EQ(inst->start(44100.0, 512), kResultOk);
  // One restart for 66, one for the 70 the host's own set-up reported, both before the
  // host's call returned; then it settles.
  EXPECT_EQ(h.restarts(), (std::vector<int32>{kLatencyChanged, kLatencyChanged}));
  for (auto& t : others) t.join();
  EXPECT_EQ(othersThrough.load(), 2) << "the restart came while the plug-in held its lock";
  EXPECT_EQ(onCaller.load(), 2);
  EXPECT_EQ(nested.load(), 2);
  EXPECT_EQ(inst->processor()->getLatencySamples(), 70u);
  h.onRestart = nullptr;

  // Stopping the processing resets nothing; the next activation does, and tells the host
  // of the latency change before it returns.
  const int resets = plug->resets;
  plug->latencyToReport = 12;
  inst->processor()->setProcessing(false);
  EXPECT_EQ(plug->resets, resets);
  inst->component()->setActive(false);
  inst->component()->setActive(true);
  EXPECT_EQ(plug->resets, resets + 1);
  EXPECT_EQ(h.restarts().size(), 3u);
  inst->component()->setActive(false);
  inst->component()->setActive(true);  // nothing was processed meanwhile: no reset
  EXPECT_EQ(plug->resets, resets + 1);

  // A change on a thread of the plug-in's own is delivered later, once.
  plug->SetLatency(12);  // unchanged: the host is not bothered
  plug->SetLatency(8);
  ASSERT_TRUE(WaitFor([&] { return h.restarts().size() >= 4; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(h.restarts().size(), 4u);
}

TEST_F(WrapperTest, SixtyFourBitAndOversizedBlocksMatchThirtyTwoBit) {
  plug->GetParam(1)->Set(0.5);
  ASSERT_EQ(inst->start(48000.0, 64, kSample32), kResultOk);
  inst->process(200);  // more than the host promised: rendered in slices
  EXPECT_LE(plug->maxFrames, 64);
  Instance wide(mFactory);
  auto* other = dynamic_cast<FakePlug*>(wide.processor());
  other->GetParam(1)->Set(0.5);
  ASSERT_EQ(wide.start(48000.0, 64, kSample64), kResultOk);
  wide.process(200);
  ASSERT_EQ(wide.left.size(), inst->left.size());
  for (size_t i = 0; i < 200; ++i) {
    ASSERT_EQ(wide.left[i], inst->left[i]) << i;
    ASSERT_EQ(wide.right[i], inst->right[i]) << i;
  }
}

TEST_F(WrapperTest, HostCallsNeverOverlapAnIdleTick) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(150);
  const int idlesBefore = plug->idles.load();
  int calls = 0;
  while (std::chrono::steady_clock::now() < end) {
    inst->controller()->setParamNormalized(1, (calls % 10) / 10.0);
    ++calls;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  EXPECT_GT(plug->idles.load(), idlesBefore + 2) << "idle ticks kept running";
  EXPECT_EQ(plug->overlaps.load(), 0) << "of " << calls << " host calls";
}

TEST_F(WrapperTest, IdleRunsFromInitializeToTerminate) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (plug->idles.load() < 3 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_GE(plug->idles.load(), 3);
  // A second initialize (as some hosts make on the controller) and its terminate keep
  // the plug-in running; the last terminate stops the timer.
  ASSERT_EQ(inst->controller()->initialize(nullptr), kResultOk);
  ASSERT_EQ(inst->controller()->terminate(), kResultOk);
  EXPECT_EQ(inst->controller()->getParameterCount(), 3 + 130);
  ASSERT_EQ(inst->component()->terminate(), kResultOk);
  const int after = plug->idles.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(plug->idles.load(), after);
  ASSERT_EQ(inst->component()->initialize(nullptr), kResultOk);  // for the fixture's teardown
}

}  // namespace
