#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "framework/iplug_api_base.h"
#include "framework/iplug_processor.h"
#include "framework/spsc_queue.h"

namespace {

using namespace iplug;

Config testConfig() {
  Config c;
  c.nParams = 3;
  c.channelIOStr = "0-2";
  c.pluginName = "Test";
  c.vendorVersion = 0x509;
  c.plugType = kPlugTypeInstrument;
  c.plugWidth = 648;
  c.plugHeight = 431;
  return c;
}

// Records every call the framework makes into a plug-in and its host.
class RecordingPlug : public IPlugAPIBase, public IPlugProcessor {
 public:
  RecordingPlug() : IPlugAPIBase(testConfig()), IPlugProcessor(testConfig()) {
    GetParam(0)->InitEnum("Tone", 1, 4);
    GetParam(1)->InitDouble("Volume", 1.0, 0.0, 1.0, 0.001);
    GetParam(2)->InitBool("Hold", false);
  }
  ~RecordingPlug() override { DestroyTimer(); }

  using IPlugAPIBase::OnParamChange;
  void OnParamChange(int idx) override { log.push_back("change " + std::to_string(idx)); }
  void OnParamChangeUI(int idx, EParamSource src) override {
    log.push_back("ui " + std::to_string(idx) + " " + std::to_string(src));
  }
  void BeginInformHostOfParamChange(int idx) override { log.push_back("begin " + std::to_string(idx)); }
  void InformHostOfParamChange(int idx, double n) override {
    log.push_back("perform " + std::to_string(idx) + " " + std::to_string(n));
  }
  void EndInformHostOfParamChange(int idx) override { log.push_back("end " + std::to_string(idx)); }
  void OnIdle() override { ++idles; }
  void ProcessBlock(sample**, sample** outputs, int nFrames) override {
    blocks.push_back(nFrames);
    for (int i = 0; i < nFrames; ++i) outputs[0][i] = outputs[1][i] = static_cast<sample>(next++);
  }

  std::vector<std::string> log;
  std::vector<int> blocks;
  std::atomic<int> idles{0};
  int next = 0;
};

TEST(PluginBase, EditFromTheInterfaceIsBracketedThenHandled) {
  RecordingPlug p;
  p.SendParameterValueFromUI(1, 0.25);
  EXPECT_DOUBLE_EQ(p.GetParam(1)->Value(), 0.25);
  const std::vector<std::string> expected = {"begin 1", "perform 1 0.250000", "end 1", "change 1",
                                             "ui 1 " + std::to_string(kUI)};
  EXPECT_EQ(p.log, expected);

  p.log.clear();
  p.SendParameterValueFromUI(3, 0.5);
  p.SendParameterValueFromUI(-1, 0.5);
  EXPECT_TRUE(p.log.empty());
}

TEST(PluginBase, ConfigurationReachesTheBases) {
  RecordingPlug p;
  EXPECT_EQ(p.NParams(), 3);
  EXPECT_EQ(p.MaxNChannels(kInput), 0);
  EXPECT_EQ(p.MaxNChannels(kOutput), 2);
  EXPECT_EQ(p.GetPluginVersion(false), 0x509);
  EXPECT_EQ(p.GetPluginVersion(true), 509);
  EXPECT_TRUE(p.IsInstrument());
  EXPECT_EQ(p.GetEditorWidth(), 648);
  EXPECT_EQ(FourCC("QvCr"), 0x51764372);
  EXPECT_FALSE(p.SetSampleRate(0.0));
  EXPECT_FALSE(p.SetSampleRate(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_TRUE(p.SetSampleRate(96000.0));
  EXPECT_DOUBLE_EQ(p.GetSampleRate(), 96000.0);
}

TEST(PluginBase, StateRoundTripAndShortChunk) {
  RecordingPlug a;
  a.GetParam(0)->Set(3);
  a.GetParam(1)->Set(0.125);
  a.GetParam(2)->Set(1);
  IByteChunk chunk;
  ASSERT_TRUE(a.SerializeState(chunk));
  EXPECT_EQ(chunk.Size(), 3 * 8);

  RecordingPlug b;
  EXPECT_EQ(b.UnserializeState(chunk, 0), 24);
  EXPECT_DOUBLE_EQ(b.GetParam(0)->Value(), 3.0);
  EXPECT_DOUBLE_EQ(b.GetParam(1)->Value(), 0.125);
  EXPECT_DOUBLE_EQ(b.GetParam(2)->Value(), 1.0);
  // Each parameter's handlers ran once, as a preset recall.
  const std::string recall = std::to_string(kPresetRecall);
  const std::vector<std::string> expected = {"change 0",       "ui 0 " + recall, "change 1",
                                             "ui 1 " + recall, "change 2",       "ui 2 " + recall};
  EXPECT_EQ(b.log, expected);

  // A truncated chunk is refused whole: nothing changes, no handler runs.
  IByteChunk shortChunk;
  shortChunk.PutBytes(chunk.GetData(), 20);
  RecordingPlug c;
  EXPECT_EQ(c.UnserializeState(shortChunk, 0), -1);
  EXPECT_DOUBLE_EQ(c.GetParam(0)->Value(), 1.0);
  EXPECT_DOUBLE_EQ(c.GetParam(1)->Value(), 1.0);
  EXPECT_TRUE(c.log.empty());
  EXPECT_EQ(c.UnserializeState(chunk, 8), -1);
}

TEST(PluginBase, DoubleBuffersAreConvertedInSlicesOfTheBlockSize) {
  RecordingPlug p;
  p.SetBlockSize(16);
  std::vector<double> left(40, -1.0), right(40, -1.0);
  double* outs[] = {left.data(), right.data()};
  p.ProcessBuffers(static_cast<double**>(nullptr), outs, 40);
  EXPECT_EQ(p.blocks, (std::vector<int>{16, 16, 8}));
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(left[static_cast<std::size_t>(i)], i);
    EXPECT_EQ(right[static_cast<std::size_t>(i)], i);
  }
}

TEST(IdleTimer, TicksUntilDestroyedAndSkipsWhileTheInterfaceIsBusy) {
  RecordingPlug p;
  p.OnTimer();
  EXPECT_EQ(p.idles, 1);
  {
    std::lock_guard<std::recursive_mutex> sameThread(p.InterfaceMutex());
    p.OnTimer();  // the interface thread itself may tick
  }
  EXPECT_EQ(p.idles, 2);
  std::atomic<bool> held{false}, release{false};
  std::thread other([&] {
    std::lock_guard<std::recursive_mutex> lock(p.InterfaceMutex());
    held = true;
    while (!release) std::this_thread::yield();
  });
  while (!held) std::this_thread::yield();
  p.OnTimer();
  EXPECT_EQ(p.idles, 2);
  release = true;
  other.join();

  p.CreateTimer();
  p.CreateTimer();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (p.idles < 5 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_GE(p.idles, 5);
  p.DestroyTimer();
  const int after = p.idles;
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(p.idles, after);
}

// Stopping wakes the sleeping thread: a timer with a long period does not hold up the
// plug-in that goes away, and never calls again once stopped.
TEST(IdleTimer, StopsAtOnceWhateverItsPeriod) {
  std::atomic<int> calls{0};
  auto timer = iplug::Timer::Create([&](iplug::Timer&) { ++calls; }, 60000);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const auto t0 = std::chrono::steady_clock::now();
  timer->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));
  EXPECT_EQ(calls.load(), 0);
}

TEST(IPlugQueue, DropsWhenFullAndKeepsOrder) {
  IPlugQueue<IMidiMsg> q(32);
  for (int i = 0; i < 32; ++i) EXPECT_TRUE(q.Push(IMidiMsg(i, 0x90, static_cast<std::uint8_t>(i), 100)));
  EXPECT_FALSE(q.Push(IMidiMsg(99, 0x90, 99, 100)));
  EXPECT_EQ(q.ElementsAvailable(), 32u);
  IMidiMsg m;
  for (int i = 0; i < 32; ++i) {
    ASSERT_TRUE(q.Pop(m));
    EXPECT_EQ(m.mData1, i);
  }
  EXPECT_FALSE(q.Pop(m));
}

TEST(IMidiMsg, BuildersKeepBytesInRange) {
  IMidiMsg m;
  m.MakeNoteOnMsg(60, 200, 5, 18);
  EXPECT_EQ(m.mStatus, 0x92);
  EXPECT_EQ(m.mData1, 60);
  EXPECT_EQ(m.mData2, 127);
  EXPECT_EQ(m.mOffset, 5);
  m.MakeControlChangeMsg(7, -3, 0);
  EXPECT_EQ(m.mStatus, 0xB0);
  EXPECT_EQ(m.mData2, 0);
}

}  // namespace
