#include "plugin/corva_plug.h"
#include "model/midi_map.h"
#include "model/midi_map_file.h"
#include "tests/plugin/plug_instance.h"
#include "tests/support/data_home.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace corva;

using test::makePlug;

// Renders nBlocks of 64 frames and returns channel 0 and 1 one after the other.
std::pair<std::vector<float>, std::vector<float>> render(CorvaPlug& plug, int nBlocks, int frames = 64) {
  std::vector<float> left, right;
  std::vector<float> l(static_cast<std::size_t>(frames)), r(static_cast<std::size_t>(frames));
  for (int b = 0; b < nBlocks; ++b) {
    float* outs[] = {l.data(), r.data()};
    plug.ProcessBlock(nullptr, outs, frames);
    left.insert(left.end(), l.begin(), l.end());
    right.insert(right.end(), r.begin(), r.end());
  }
  return {left, right};
}

TEST(CorvaPlug, ConstructionRegistersTheTable) {
  auto plug = makePlug();
  ASSERT_EQ(plug->NParams(), kNumParams);
  EXPECT_EQ(plug->GetParam(kTone)->GetDisplay(), "2");
  EXPECT_EQ(plug->GetParam(kMode)->GetDisplay(), "1");
  EXPECT_EQ(plug->GetParam(kSpeed)->GetDisplay(), "2");
  EXPECT_EQ(plug->GetParam(kOversample)->GetDisplay(), "4x");
  EXPECT_EQ(plug->GetParam(kSpeed)->GetDisplay(1.0, true), "OFF");
  EXPECT_DOUBLE_EQ(plug->GetParam(kTone)->Value(), 1.0);
  EXPECT_EQ(plug->GetParam(kVcc)->Value(), 12.199999809265137);
  EXPECT_EQ(plug->GetParam(kFeedback)->Value(), 0.3499999940395355);
  EXPECT_DOUBLE_EQ(plug->GetParam(kTime)->Value(), 300.0);
  EXPECT_DOUBLE_EQ(plug->GetParam(kVolume)->Value(), 1.0);
  for (int i : {kToneBtn, kCorvaBtn, kTrigger, kHold, kEcho}) {
    EXPECT_DOUBLE_EQ(plug->GetParam(i)->Value(), 0.0) << i;
    EXPECT_EQ(plug->GetParam(i)->GetDisplay(), "off") << i;
  }
  for (int i = 0; i < kNumParams; ++i) {
    EXPECT_STREQ(plug->GetParam(i)->GetName(), kParamTable[i].name);
    EXPECT_EQ(plug->GetParam(i)->GetCanAutomate(), i != kLedLevel) << i;
  }
  EXPECT_NEAR(plug->GetParam(kTime)->FromNormalized(0.5), 178.885, 1e-3);
  EXPECT_EQ(plug->GetParam(kTone)->Type(), iplug::IParam::kTypeEnum);
  EXPECT_EQ(plug->GetParam(kHold)->Type(), iplug::IParam::kTypeBool);

  EXPECT_EQ(plug->MaxNChannels(iplug::kInput), 0);
  EXPECT_EQ(plug->MaxNChannels(iplug::kOutput), 2);
  EXPECT_STREQ(plug->GetPluginName(), "Tembrix Audio Corva-1");
  EXPECT_EQ(plug->GetPluginVersion(false), 1289);
  EXPECT_EQ(plug->GetUniqueID(), 0x51764372);  // "QvCr"
  EXPECT_EQ(plug->GetMfrID(), 0x54627278);     // "Tbrx"
  EXPECT_TRUE(plug->IsInstrument());
  EXPECT_TRUE(plug->DoesMIDIIn());
  EXPECT_EQ(plug->GetEditorWidth(), 648);
  EXPECT_EQ(plug->GetEditorHeight(), 431);
  EXPECT_EQ(plug->GetMaxHeight(), 1721);
  EXPECT_TRUE(plug->midiLearnAvailable());
}

TEST(CorvaPlug, FirstBlockAndEveryChangeTakeASnapshot) {
  auto plug = makePlug();
  plug->engine.controls.tone = 3;
  plug->engine.controls.refinement = 0;
  render(*plug, 1, 0);  // even a block of 0 frames takes a pending snapshot
  EXPECT_EQ(plug->engine.controls.tone, 1);
  EXPECT_EQ(plug->engine.controls.refinement, -1);
  EXPECT_EQ(plug->engine.controls.oversamplingCap, 4);
  EXPECT_FALSE(plug->paramsDirty);

  // Without a change the engine keeps what it has.
  plug->engine.controls.tone = 2;
  render(*plug, 1);
  EXPECT_EQ(plug->engine.controls.tone, 2);

  plug->setParameter(kTrigger, 1.0f);
  plug->setParameter(kTime, 1000.0f);
  EXPECT_TRUE(plug->paramsDirty);
  render(*plug, 1);
  EXPECT_EQ(plug->engine.controls.trigger, 1);
  EXPECT_EQ(plug->engine.controls.tone, 1);
  EXPECT_FLOAT_EQ(plug->effects.echoTimeMs, 800.0f);
  plug->setParameter(kTrigger, 0.0f);
  render(*plug, 1);
  EXPECT_EQ(plug->engine.controls.trigger, 0);
}

TEST(CorvaPlug, SetParameterConstrainsAndTellsTheHostInsideAnEdit) {
  auto plug = makePlug();
  plug->setParameter(kTime, 1000.0f);
  EXPECT_DOUBLE_EQ(plug->GetParam(kTime)->Value(), 800.0);
  plug->setParameter(kTone, 2.4f);
  EXPECT_DOUBLE_EQ(plug->GetParam(kTone)->Value(), 2.0);
  plug->setParameter(kVolume, std::nanf(""));
  EXPECT_DOUBLE_EQ(plug->GetParam(kVolume)->Value(), 0.0);
  plug->setParameter(kNumParams, 1.0f);  // no such parameter: nothing happens
  plug->setParameter(-1, 1.0f);

  const auto edits = plug->hostEdits();
  ASSERT_EQ(edits.size(), 9u);
  EXPECT_EQ(edits[0].kind, 'b');
  EXPECT_EQ(edits[1].kind, 'p');
  EXPECT_EQ(edits[1].idx, kTime);
  EXPECT_DOUBLE_EQ(edits[1].normalized, 1.0);
  EXPECT_EQ(edits[2].kind, 'e');
  EXPECT_DOUBLE_EQ(edits[4].normalized, 2.0 / 3.0);

  double last = plug->nowSeconds();
  for (int i = 0; i < 1000; ++i) {
    const double now = plug->nowSeconds();
    EXPECT_GE(now, last);
    last = now;
  }
}

TEST(CorvaPlug, MidiRingKeepsSixtyFourInOrderAndDropsTheRest) {
  auto plug = makePlug();
  plug->DestroyTimer();
  // Start near the end of the ring so the indices wrap during the test.
  for (int i = 0; i < 60; ++i) plug->ProcessMidiMsg(iplug::IMidiMsg(0, 0xB0, 1, 1));
  iplug::IMidiMsg m;
  while (plug->takeMidiMsg(m)) {
  }
  for (int i = 0; i < 65; ++i) plug->ProcessMidiMsg(iplug::IMidiMsg(i, 0x90, static_cast<std::uint8_t>(i), 100));
  for (int i = 0; i < 64; ++i) {
    ASSERT_TRUE(plug->takeMidiMsg(m));
    EXPECT_EQ(m.mOffset, i);
    EXPECT_EQ(m.mData1, i);
  }
  EXPECT_FALSE(plug->takeMidiMsg(m));
  EXPECT_EQ(plug->midiRing.ElementsAvailable(), 0u);
}

TEST(CorvaPlug, LatencyChangeReachesPendingThenTheHost) {
  auto plug = makePlug();
  plug->DestroyTimer();
  EXPECT_TRUE(plug->SetSampleRate(44100.0));
  plug->setParameter(kOversample, 0.0f);
  render(*plug, 1);
  plug->OnReset();
  EXPECT_EQ(plug->latency, 66);  // no decimator, the limiter's 66-sample lookahead
  EXPECT_EQ(plug->pendingLatency, 66);
  EXPECT_EQ(plug->reportedLatency, 66);
  EXPECT_EQ(plug->GetLatency(), 66);

  plug->OnTimer();  // nothing to report after a reset
  EXPECT_EQ(plug->latencyReports(), std::vector<int>{66});

  plug->setParameter(kOversample, 2.0f);
  render(*plug, 1);
  EXPECT_EQ(plug->pendingLatency, 74);
  EXPECT_EQ(plug->reportedLatency, 66);
  EXPECT_EQ(plug->GetLatency(), 66);
  plug->OnTimer();
  EXPECT_EQ(plug->reportedLatency, 74);
  EXPECT_EQ(plug->GetLatency(), 74);
  EXPECT_EQ(plug->latencyReports(), (std::vector<int>{66, 74}));
}

TEST(CorvaPlug, IdleTimerReportsOnItsOwn) {
  auto plug = makePlug();
  EXPECT_TRUE(plug->SetSampleRate(44100.0));
  plug->OnReset();
  plug->setParameter(kOversample, 0.0f);
  render(*plug, 1);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (plug->GetLatency() != 66 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(plug->GetLatency(), 66);
  EXPECT_EQ(plug->latencyReports().back(), 66);
}

TEST(CorvaPlug, HostResettingDuringALatencyReportDoesNotRecurse) {
  auto plug = makePlug();
  plug->DestroyTimer();
  int restarts = 0;
  // Like a host that answers the restart request by setting up processing again, here
  // at another sample rate.
  plug->onLatency = [&](int) {
    if (++restarts > 3) return;
    EXPECT_TRUE(plug->SetSampleRate(96000.0));
    plug->OnReset();
  };
  EXPECT_TRUE(plug->SetSampleRate(44100.0));
  plug->OnReset();
  EXPECT_EQ(restarts, 1);
  EXPECT_EQ(plug->latencyReports(), std::vector<int>{74});
  // The nested reset's latency (decimator 8 + lookahead 144 at 96 kHz) is not lost.
  EXPECT_EQ(plug->latency, 152);
  EXPECT_EQ(plug->pendingLatency, 152);
  plug->onLatency = nullptr;
  plug->OnTimer();
  EXPECT_EQ(plug->GetLatency(), 152);
  EXPECT_EQ(plug->reportedLatency, 152);
}

TEST(CorvaPlug, RestoredStateReleasesMomentaryButtons) {
  auto a = makePlug();
  for (int i : {kToneBtn, kCorvaBtn, kTrigger, kHold}) a->setParameter(i, 1.0f);
  a->setParameter(kTone, 3.0f);
  a->setParameter(kVcc, 9.5f);
  a->GetParam(kLedLevel)->Set(0.7);
  iplug::IByteChunk chunk;
  ASSERT_TRUE(a->SerializeState(chunk));
  ASSERT_EQ(chunk.Size(), 15 * 8);
  double saved = 0.0;
  chunk.Get(&saved, kTrigger * 8);
  EXPECT_EQ(saved, 1.0);  // the stored layout keeps what was set

  auto b = makePlug();
  render(*b, 1);
  EXPECT_EQ(b->UnserializeState(chunk, 0), 15 * 8);
  for (int i : {kToneBtn, kCorvaBtn, kTrigger, kLedLevel}) EXPECT_DOUBLE_EQ(b->GetParam(i)->Value(), 0.0) << i;
  EXPECT_DOUBLE_EQ(b->GetParam(kHold)->Value(), 1.0);
  EXPECT_DOUBLE_EQ(b->GetParam(kTone)->Value(), 3.0);
  EXPECT_DOUBLE_EQ(b->GetParam(kVcc)->Value(), a->GetParam(kVcc)->Value());
  EXPECT_TRUE(b->paramsDirty);
  render(*b, 1);
  EXPECT_EQ(b->engine.controls.trigger, 0);
  EXPECT_EQ(b->engine.controls.hold, 1);
  EXPECT_EQ(b->engine.controls.tone, 3);

  // State that follows other data, and state that is cut short.
  iplug::IByteChunk prefixed;
  const std::int32_t header = 42;
  prefixed.Put(&header);
  prefixed.PutBytes(chunk.GetData(), chunk.Size());
  auto c = makePlug();
  EXPECT_EQ(c->UnserializeState(prefixed, 4), 4 + 15 * 8);
  EXPECT_DOUBLE_EQ(c->GetParam(kTrigger)->Value(), 0.0);
  EXPECT_DOUBLE_EQ(c->GetParam(kTone)->Value(), 3.0);
  iplug::IByteChunk cut;
  cut.PutBytes(chunk.GetData(), 14 * 8);
  auto d = makePlug();
  EXPECT_EQ(d->UnserializeState(cut, 0), -1);
  EXPECT_DOUBLE_EQ(d->GetParam(kTone)->Value(), 1.0);
}

TEST(CorvaPlug, LedLevelIsPublishedOnlyWhenItChanges) {
  auto plug = makePlug();
  plug->DestroyTimer();
  plug->ledLevel = 0.25f;
  plug->OnTimer();
  EXPECT_DOUBLE_EQ(plug->GetParam(kLedLevel)->Value(), 0.25);
  EXPECT_EQ(plug->ledSent, 0.25f);
  plug->ledLevel = std::nanf("");
  plug->OnTimer();
  EXPECT_DOUBLE_EQ(plug->GetParam(kLedLevel)->Value(), 0.0);
  EXPECT_TRUE(plug->hostEdits().empty());  // an output: the host is never told
}

TEST(CorvaPlug, PlaysOnTriggerWithIdenticalFiniteChannels) {
  auto plug = makePlug();
  plug->DestroyTimer();
  EXPECT_TRUE(plug->SetSampleRate(44100.0));
  plug->OnReset();
  auto [quietL, quietR] = render(*plug, 40);
  plug->setParameter(kTrigger, 1.0f);
  auto [left, right] = render(*plug, 200);
  double quiet = 0.0, loud = 0.0;
  for (float s : quietL) quiet = std::max(quiet, std::fabs(static_cast<double>(s)));
  for (std::size_t i = 0; i < left.size(); ++i) {
    ASSERT_TRUE(std::isfinite(left[i]));
    ASSERT_EQ(left[i], right[i]);
    loud = std::max(loud, std::fabs(static_cast<double>(left[i])));
  }
  EXPECT_LT(quiet, 1e-3);
  EXPECT_GT(loud, 0.01);
  EXPECT_LE(loud, 1.0);
  EXPECT_GT(plug->ledLevel.load(), 0.5f);
}

TEST(CorvaPlug, RefusedSampleRateIsReportedOnceAndIsSilent) {
  auto plug = makePlug();
  plug->DestroyTimer();
  plug->setParameter(kTrigger, 1.0f);
  testing::internal::CaptureStderr();
  std::vector<float> peaks;
  for (double rate : {500.0, 2.0e6, 44100.0, 500.0}) {
    EXPECT_TRUE(plug->SetSampleRate(rate));
    plug->OnReset();
    float peak = 0.0f;
    for (float s : render(*plug, 200).first) peak = std::max(peak, std::fabs(s));
    peaks.push_back(peak);
  }
  // One line for the two refusals in a row, one more after the rate it plays.
  const std::string line =
      "Corva: cannot play at 500 Hz (only 1000 to 1000000 Hz); silent until the sample rate changes\n";
  EXPECT_EQ(testing::internal::GetCapturedStderr(), line + line);
  EXPECT_EQ(peaks, (std::vector<float>{0.0f, 0.0f, peaks[2], 0.0f}));
  EXPECT_GT(peaks[2], 0.01f);
}

TEST(CorvaPlug, InstancesAreIndependent) {
  std::vector<std::unique_ptr<CorvaPlug>> plugs;
  std::vector<std::thread> threads;
  std::mutex m;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      auto p = makePlug();
      std::lock_guard<std::mutex> lock(m);
      plugs.push_back(std::move(p));
    });
  for (auto& t : threads) t.join();
  ASSERT_EQ(plugs.size(), 4u);
  plugs[0]->setParameter(kTone, 3.0f);
  plugs[1]->ProcessMidiMsg(iplug::IMidiMsg(0, 0x90, 60, 100));
  EXPECT_DOUBLE_EQ(plugs[1]->GetParam(kTone)->Value(), 1.0);
  iplug::IMidiMsg msg;
  EXPECT_FALSE(plugs[0]->takeMidiMsg(msg));
  // Deleting through any base reaches the whole object.
  Host* asHost = plugs[2].release();
  delete asHost;
  iplug::IPlugProcessor* asProcessor = plugs[3].release();
  delete asProcessor;
}

}  // namespace

namespace {

TEST(CorvaPlug, SavingTheMidiMapRecordsTheOutcome) {
  namespace fs = std::filesystem;
  test::ScopedDataHome home;
  auto plug = makePlug();
  corva::MidiMap map;
  corva::resetMidiMap(map);
  plug->saveMidiMap(map);
  EXPECT_FALSE(plug->midiMapSaveFailed);
  std::ifstream in(fs::path(home.folder()) / "midi-map.txt");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, corva::formatMidiMap(map));

  // A regular file where the data folder should be: the save fails and says so.
  const std::string blocker = home.root + "/blocker";
  std::ofstream(blocker) << "x";
  setenv("XDG_DATA_HOME", blocker.c_str(), 1);
  plug->saveMidiMap(map);
  EXPECT_TRUE(plug->midiMapSaveFailed);
}

}  // namespace
