// The instrument as a VST3 host drives it: the built bundle loaded in process, its
// parameters, its sound, its saved state, its latency reports and several instances.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "pluginterfaces/base/ustring.h"
#include "tests/support/data_home.h"
#include "tests/vst3/test_host.h"

namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;
using corvatest::EventList;
using corvatest::Instance;
using corvatest::Module;
using corvatest::ParamChanges;

// Parameter IDs, in the instrument's parameter order.
enum : ParamID {
  kTone = 0,
  kMode,
  kSpeed,
  kVolume,
  kToneBtn,
  kCorvaBtn,
  kTrigger,
  kHold,
  kOversample,
  kVcc,
  kReverb,
  kEcho,
  kFeedback,
  kTime,
  kLedLevel,
  kNumParams
};

// Instances read the MIDI map from a data folder of this test's own, never the user's.
const corva::test::ScopedDataHome dataHome;

Module& TheModule() {
  static Module* m = new Module(corvatest::ModulePath());
  return *m;
}

class Instrument : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(TheModule().ok()) << TheModule().error(); }
  static IPluginFactory* factory() { return TheModule().factory(); }
};

std::string Display(IEditController* c, ParamID id) {
  String128 s;
  EXPECT_EQ(c->getParamStringByValue(id, c->getParamNormalized(id), s), kResultOk);
  char buf[129];
  UString(s, 128).toAscii(buf, 128);
  return buf;
}

// Renders `blocks` blocks of `n` frames, the first with `changes`.
void Render(Instance& in, int blocks, int n, ParamChanges* changes = nullptr) {
  for (int b = 0; b < blocks; ++b) ASSERT_EQ(in.process(n, b == 0 ? changes : nullptr), kResultOk);
}

// Sends a Note On in a block of n frames, then renders further blocks, giving the idle
// timer (which passes MIDI to the instrument every 20 ms) time between them, until the
// note sounds. Returns the first sample above 1e-3, or left.size() after 5 s of silence.
size_t PlayNote(Instance& in, int32 n, int16 pitch = 60, ParamChanges* changes = nullptr, int16 channel = 0) {
  EventList note;
  note.noteOn(0, pitch, 0.8f, channel);
  if (in.process(n, changes, &note) != kResultOk) return in.left.size();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (corvatest::FirstAbove(in.left, 1e-3f) == in.left.size() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (in.process(n) != kResultOk) break;
  }
  return corvatest::FirstAbove(in.left, 1e-3f);
}

TEST_F(Instrument, ParametersAsAHostSeesThem) {
  Instance in(factory());
  ASSERT_TRUE(in.ok());
  IEditController* c = in.controller();
  ASSERT_EQ(c->getParameterCount(), int32(kNumParams) + 130);
  for (int32 i = 0; i < c->getParameterCount(); ++i) {
    ParameterInfo p;
    ASSERT_EQ(c->getParameterInfo(i, p), kResultOk);
    EXPECT_FALSE(p.flags & ParameterInfo::kIsBypass) << "an instrument offers no bypass";
    if (i >= int32(kNumParams)) continue;
    EXPECT_EQ(p.id, ParamID(i));
    EXPECT_EQ(bool(p.flags & ParameterInfo::kCanAutomate), p.id != kLedLevel) << i;
    const bool list = p.id == kTone || p.id == kMode || p.id == kSpeed || p.id == kOversample;
    EXPECT_EQ(bool(p.flags & ParameterInfo::kIsList), list) << i;
    if (list) {
      EXPECT_EQ(p.stepCount, 3) << i;
    }
  }
  EXPECT_EQ(Display(c, kTone), "2");
  EXPECT_EQ(Display(c, kMode), "1");
  EXPECT_EQ(Display(c, kSpeed), "2");
  EXPECT_EQ(Display(c, kOversample), "4x");
  EXPECT_EQ(Display(c, kTrigger), "off");
  EXPECT_EQ(Display(c, kEcho), "off");
  EXPECT_NEAR(c->normalizedParamToPlain(kVcc, c->getParamNormalized(kVcc)), 12.2, 1e-6);
  EXPECT_NEAR(c->normalizedParamToPlain(kTime, 0.5), 178.885, 0.01);
}

struct RateAndSize {
  double rate;
  int32 sampleSize;
};

class InstrumentSound : public Instrument, public ::testing::WithParamInterface<RateAndSize> {};

TEST_P(InstrumentSound, PlaysOnANoteAndPitchFollowsTone) {
  const RateAndSize s = GetParam();
  Instance in(factory());
  ASSERT_EQ(in.start(s.rate, 512, s.sampleSize), kResultOk);
  // Several idle ticks pass with no note: nothing sounds.
  for (int b = 0; b < 8; ++b) {
    ASSERT_EQ(in.process(512), kResultOk);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(corvatest::PeakAbs(in.left, 0, in.left.size()), 0.0) << "silent until a note";

  const size_t noteAt = in.left.size();
  const size_t onset = PlayNote(in, 512);
  ASSERT_LT(onset, in.left.size()) << "a note sounds";
  EXPECT_GE(onset, noteAt);
  Render(in, 4, 512);
  EXPECT_EQ(in.left, in.right) << "both outputs carry the same signal";

  double pitch[4] = {};
  const size_t window = size_t(s.rate * 0.12);
  for (int tone = 0; tone < 4; ++tone) {
    ParamChanges t;
    t.add(kTone, 0, tone / 3.0);
    const size_t from = in.left.size() + size_t(s.rate * 0.1);
    Render(in, int((s.rate * 0.22) / 512) + 1, 512, &t);
    EXPECT_GT(corvatest::Rms(in.left, from, from + window), 0.05) << "tone " << tone;
    pitch[tone] = corvatest::Pitch(in.left, from, from + window, s.rate, 60, 3000);
  }
  for (int tone = 1; tone < 4; ++tone) EXPECT_GT(pitch[tone], pitch[tone - 1] * 1.3) << "tone " << tone;
  RecordProperty("pitches", std::to_string(pitch[0]) + " " + std::to_string(pitch[1]) + " " + std::to_string(pitch[2]) +
                                " " + std::to_string(pitch[3]));
}

INSTANTIATE_TEST_SUITE_P(Rates, InstrumentSound,
                         ::testing::Values(RateAndSize{44100.0, kSample32}, RateAndSize{96000.0, kSample64}),
                         [](const auto& info) {
                           return info.param.sampleSize == kSample64 ? "96kHz64bit" : "44kHz32bit";
                         });

TEST_F(Instrument, PitchDoesNotDependOnTheSampleRate) {
  double pitch[2] = {};
  const double rates[2] = {44100.0, 96000.0};
  for (int i = 0; i < 2; ++i) {
    Instance in(factory());
    ASSERT_EQ(in.start(rates[i], 256), kResultOk);
    ParamChanges tone;
    tone.add(kTone, 0, 1.0);
    const size_t onset = PlayNote(in, 256, 60, &tone);
    ASSERT_LT(onset, in.left.size());
    Render(in, int(rates[i] * 0.3 / 256), 256);
    const size_t from = onset + size_t(rates[i] * 0.15);
    pitch[i] = corvatest::Pitch(in.left, from, from + size_t(rates[i] * 0.12), rates[i], 60, 3000);
  }
  EXPECT_NEAR(pitch[1] / pitch[0], 1.0, 0.03) << pitch[0] << " Hz vs " << pitch[1] << " Hz";
}

TEST_F(Instrument, StateRestoresParametersAndSound) {
  Instance a(factory());
  ASSERT_EQ(a.start(44100.0, 256), kResultOk);
  ParamChanges set;
  const std::pair<ParamID, double> values[] = {{kTone, 1.0},     {kMode, 1.0 / 3}, {kVcc, 0.3},
                                               {kVolume, 0.5},   {kTime, 0.5},     {kEcho, 1.0},
                                               {kFeedback, 0.6}, {kReverb, 0.25},  {kTrigger, 1.0}};
  for (auto [id, v] : values) set.add(id, 0, v);
  ASSERT_EQ(a.process(0, &set), kResultOk);  // parameters only, no audio yet
  const std::vector<char> state = a.getState();
  ASSERT_EQ(state.size(), kNumParams * sizeof(double) + sizeof(int32));

  Instance b(factory());
  ASSERT_EQ(b.setState(state), kResultOk);
  for (ParamID id = 0; id < kNumParams; ++id) {
    const double want = id == kTrigger ? 0.0 : a.controller()->getParamNormalized(id);
    EXPECT_DOUBLE_EQ(b.controller()->getParamNormalized(id), want) << "parameter " << id;
  }
  ASSERT_EQ(b.start(44100.0, 256), kResultOk);

  // Both play the same from here: same parameters, same audio, sample for sample.
  for (Instance* in : {&a, &b}) {
    ParamChanges on;
    on.add(kTrigger, 0, 1.0);
    Render(*in, 60, 256, &on);
  }
  EXPECT_GT(corvatest::Rms(b.left, 0, b.left.size()), 0.01);
  EXPECT_EQ(a.left, b.left);
  // The LED lit up once it sounded, and the state saved before any sound still holds:
  // nothing was edited since.
  double led = 0.0;
  for (int i = 0; i < 100 && led == 0.0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    led = a.controller()->getParamNormalized(kLedLevel);
  }
  EXPECT_GT(led, 0.0) << "the LED never lit";
  EXPECT_EQ(a.getState(), state) << "the state changed while nothing was edited";
  // The LED level reaches the saved parameters at each instance's idle-timer pace: give
  // both timers time to publish the last block's level before the states are compared.
  for (int i = 0; i < 100 && b.getState() != a.getState(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(b.getState(), a.getState());

  std::vector<char> cut(state.begin(), state.begin() + 50);
  EXPECT_EQ(b.setState(cut), kResultFalse);
  EXPECT_DOUBLE_EQ(b.controller()->getParamNormalized(kTone), 1.0) << "a refused state changes nothing";
}

// A fresh instance, one restored from its state and the same instance after a reset,
// given the same parameters and notes, render the same samples from their first block:
// none glides from the defaults or from what it played before.
TEST_F(Instrument, FreshRestoredAndResetInstancesRenderTheSame) {
  ParamChanges set;
  for (auto [id, v] : {std::pair<ParamID, double>{kTone, 2.0 / 3},
                       {kVolume, 0.4},
                       {kEcho, 1.0},
                       {kFeedback, 0.6},
                       {kTime, 0.3},
                       {kReverb, 0.5},
                       {kVcc, 0.4}})
    set.add(id, 0, v);
  auto play = [&](Instance& in) {  // about a second at 48 kHz, with one note
    in.left.clear();
    for (int b = 0; b < 190; ++b) {
      EventList notes;
      if (b == 1) notes.noteOn(64, 60, 0.8f);
      if (b == 140) notes.noteOff(32, 60);
      EXPECT_EQ(in.process(256, b == 0 ? &set : nullptr, &notes), kResultOk);
    }
    return in.left;
  };
  Instance fresh(factory()), restored(factory());
  ASSERT_EQ(fresh.start(48000.0, 256), kResultOk);
  const std::vector<float> first = play(fresh);
  ASSERT_GT(corvatest::Rms(first, 0, first.size()), 0.01);
  ASSERT_EQ(restored.setState(fresh.getState()), kResultOk);
  ASSERT_EQ(restored.start(48000.0, 256), kResultOk);
  fresh.stop();
  ASSERT_EQ(fresh.start(48000.0, 256), kResultOk);
  for (Instance* in : {&restored, &fresh}) {
    const std::vector<float> again = play(*in);
    size_t differ = 0;
    for (size_t i = 0; i < std::min(first.size(), again.size()); ++i) differ += again[i] != first[i];
    EXPECT_TRUE(again == first) << (in == &fresh ? "reset: " : "restored: ") << differ << " samples differ, RMS "
                                << corvatest::Rms(again, 0, again.size()) << " against "
                                << corvatest::Rms(first, 0, first.size());
  }
}

TEST_F(Instrument, AsksForNoProcessContextAndReadsNone) {
  Instance plain(factory()), timed(factory());
  FUnknownPtr<IProcessContextRequirements> req(plain.component());
  ASSERT_TRUE(req) << "hosts of this SDK generation require the interface";
  EXPECT_EQ(req->getProcessContextRequirements(), 0u);

  // The answer holds only while nothing reads the context: the same parameters give the
  // same sound with no context and with one full of moving tempo and transport.
  ProcessContext ctx{};
  ctx.state = ProcessContext::kPlaying | ProcessContext::kTempoValid | ProcessContext::kTimeSigValid |
              ProcessContext::kProjectTimeMusicValid | ProcessContext::kSystemTimeValid;
  ctx.sampleRate = 44100.0;
  ctx.tempo = 300.0;
  ctx.timeSigNumerator = 7;
  ctx.timeSigDenominator = 8;
  timed.context = &ctx;
  for (Instance* in : {&plain, &timed}) {
    ASSERT_EQ(in->start(44100.0, 256), kResultOk);
    ParamChanges on;
    on.add(kTrigger, 0, 1.0);
    on.add(kEcho, 0, 1.0);
    for (int b = 0; b < 40; ++b) {
      ctx.projectTimeMusic += 1.3;
      ctx.tempo = b % 2 ? 60.0 : 300.0;
      ctx.systemTime += 5000000;
      ASSERT_EQ(in->process(256, b == 0 ? &on : nullptr), kResultOk);
    }
  }
  EXPECT_GT(corvatest::Rms(plain.left, 0, plain.left.size()), 0.01);
  EXPECT_EQ(plain.left, timed.left);
}

TEST_F(Instrument, NotesSoundAtTheirOffsetsWhateverTheIdlePace) {
  constexpr double kRate = 48000.0;
  constexpr int32 kBlock = 512;
  // A note of 5 ms, on and off inside one block, rendered with the idle ticks that
  // real time would give it: it sounds.
  {
    Instance in(factory());
    ASSERT_EQ(in.start(kRate, kBlock), kResultOk);
    EventList blip;
    blip.noteOn(100, 60, 0.8f);
    blip.noteOff(100 + 240, 60);
    ASSERT_EQ(in.process(kBlock, nullptr, &blip), kResultOk);
    for (int b = 0; b < 40; ++b) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      ASSERT_EQ(in.process(kBlock), kResultOk);
    }
    EXPECT_EQ(corvatest::PeakAbs(in.left, 0, 100), 0.0);
    const double peak = corvatest::PeakAbs(in.left, 100, in.left.size());
    EXPECT_GT(peak, 0.01) << "a 5 ms note sounds";
    RecordProperty("peak5ms", std::to_string(peak));
  }
  // Eight notes bounced as fast as the host can render, far faster than the idle timer
  // ticks: each begins within one block of its own offset, and the silence between
  // notes stays silent.
  Instance in(factory());
  ASSERT_EQ(in.start(kRate, kBlock), kResultOk);
  constexpr int kNotes = 8;
  const int32 spacing = int32(kRate * 0.5), length = int32(kRate * 0.1);
  const int32 total = spacing * kNotes;
  std::vector<int32> ons;
  for (int k = 0; k < kNotes; ++k) ons.push_back(spacing * k + 4000 + 37 * k);
  const auto renderStart = std::chrono::steady_clock::now();
  for (int32 start = 0; start < total; start += kBlock) {
    EventList events;
    for (int32 on : ons) {
      if (on >= start && on < start + kBlock) events.noteOn(on - start, int16(60 + 2 * (on % 5)), 0.8f);
      if (on + length >= start && on + length < start + kBlock)
        events.noteOff(on + length - start, int16(60 + 2 * (on % 5)));
    }
    ASSERT_EQ(in.process(kBlock, nullptr, &events), kResultOk);
  }
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - renderStart;
  RecordProperty("renderSeconds", std::to_string(took.count()) + " for " + std::to_string(total / kRate));
  // The tail of a note leaves a slowly decaying offset, so a note's start is where the
  // signal first moves by more than 1e-3 from one sample to the next.
  auto firstStep = [&](size_t from, size_t to) {
    for (size_t i = from; i < to; ++i)
      if (std::fabs(in.left[i] - in.left[i - 1]) > 1e-3f) return i;
    return to;
  };
  std::string onsets;
  for (int k = 0; k < kNotes; ++k) {
    const size_t on = size_t(ons[size_t(k)]);
    EXPECT_EQ(firstStep(on - size_t(spacing) / 2, on), on) << "note " << k << " sounds no earlier than its offset";
    const size_t onset = firstStep(on, on + size_t(kBlock));
    EXPECT_LT(onset, on + size_t(kBlock)) << "note " << k << " sounds within a block of its offset";
    EXPECT_GT(corvatest::Rms(in.left, on, on + size_t(length)), 0.01) << "note " << k;
    onsets += std::to_string(int(onset) - int(on)) + " ";
  }
  RecordProperty("onsets", onsets);
}

TEST_F(Instrument, LatencyChangeRestartsTheComponent) {
  Instance in(factory());
  ASSERT_EQ(in.start(44100.0, 256), kResultOk);
  const uint32 before = in.processor()->getLatencySamples();
  const size_t restartsBefore = in.handler().restarts().size();
  ParamChanges os;
  os.add(kOversample, 0, 0.0);  // "1x": no decimator, less latency
  // Carried by an empty block, as hosts flush parameters: it is taken all the same.
  ASSERT_EQ(in.process(0, &os), kResultOk);
  // The idle handler reports the new latency within a few of its 20 ms ticks.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (in.handler().restarts().size() == restartsBefore && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const auto restarts = in.handler().restarts();
  ASSERT_GT(restarts.size(), restartsBefore);
  EXPECT_EQ(restarts.back(), kLatencyChanged);
  EXPECT_LT(in.processor()->getLatencySamples(), before);
}

// A host that stops the processing from its UI thread while a block still renders on
// the audio thread: the stop touches no audio state there, and the echo still ringing
// then is cleared when the host activates the instrument again.
TEST_F(Instrument, StoppingTheProcessingResetsOnlyWhereNoBlockRuns) {
  Instance in(factory());
  ASSERT_EQ(in.start(48000.0, 256), kResultOk);
  ParamChanges on;
  on.add(kEcho, 0, 1.0);
  on.add(kFeedback, 0, 0.9);
  on.add(kTrigger, 0, 1.0);
  Render(in, 40, 256, &on);
  ParamChanges off;
  off.add(kTrigger, 0, 0.0);
  std::atomic<bool> stopping{false};
  std::thread audio([&] {
    in.process(256, &off);
    while (!stopping.load()) in.process(256);
  });
  for (int i = 0; i < 100; ++i) {
    in.processor()->setProcessing(false);
    in.processor()->setProcessing(true);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  stopping = true;
  audio.join();
  Render(in, 100, 256);  // half a second after the release: only the echo sounds
  const size_t end = in.left.size();
  EXPECT_GT(corvatest::PeakAbs(in.left, end - 4800, end), 1e-3) << "the echo rings on";
  in.stop();
  ASSERT_EQ(in.component()->setActive(true), kResultOk);
  ASSERT_EQ(in.processor()->setProcessing(true), kResultOk);
  Render(in, 20, 256);
  EXPECT_LT(corvatest::PeakAbs(in.left, end, in.left.size()), 1e-4) << "the echo was cleared on reactivation";
  in.processor()->setProcessing(false);
  in.component()->setActive(false);
}

// The plug-in's notifications reach a host that serialises on its UI thread without
// ever waiting on that thread while it is itself busy in the plug-in: the host's UI
// thread keeps setting a parameter while MIDI notes and a latency change make the
// plug-in tell the host of edits and a restart.
class HostThreads : public Instrument, public ::testing::WithParamInterface<bool> {};

TEST_P(HostThreads, NotificationsNeverWaitOnTheInterface) {
  const bool runLoop = GetParam();
  corvatest::UiThreadHost host(runLoop);
  size_t setUpNotes = 0;
  {
    Instance in(factory(), host.context(), host.handler());
    ASSERT_TRUE(in.ok());
    ASSERT_EQ(in.start(48000.0, 256), kResultOk);
    // The latency the set-up reported reached the host on the thread that set it up,
    // before that call returned.
    setUpNotes = host.notes().size();
    ASSERT_EQ(setUpNotes, 1u);
    EXPECT_EQ(host.notes()[0].kind, 'r');
    EXPECT_EQ(host.timersRegistered(), runLoop ? 1 : 0);
    int n = 0;
    host.start([&] { in.controller()->setParamNormalized(kVolume, (n++ % 2) ? 0.8 : 0.9); });

    auto sawTrigger = [&](double v) {
      for (const auto& e : host.notes())
        if (e.kind == 'p' && e.id == kTrigger && e.value == v) return true;
      return false;
    };
    auto renderUntil = [&](auto done) {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (!done() && std::chrono::steady_clock::now() < deadline) {
        in.process(256);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      return done();
    };
    EventList on, off;
    on.noteOn(0, 60, 0.8f);
    off.noteOff(0, 60);
    ASSERT_EQ(in.process(256, nullptr, &on), kResultOk);
    EXPECT_TRUE(renderUntil([&] { return sawTrigger(1.0); })) << "the note's edit reached the host";
    ASSERT_EQ(in.process(256, nullptr, &off), kResultOk);
    EXPECT_TRUE(renderUntil([&] { return sawTrigger(0.0); })) << "the release's edit reached the host";
    ParamChanges os;
    os.add(kOversample, 0, 0.0);
    ASSERT_EQ(in.process(0, &os), kResultOk);
    EXPECT_TRUE(renderUntil([&] {
      for (const auto& e : host.notes())
        if (e.kind == 'r') return true;
      return false;
    })) << "the latency change reached the host";
    host.stop();
    EXPECT_GT(n, 10) << "the host's UI thread kept calling the plug-in";
  }
  EXPECT_EQ(host.timeouts(), 0) << "a notification waited on a host thread the plug-in was blocking";
  EXPECT_EQ(host.timersRegistered(), 0) << "the plug-in leaves no timer behind";
  const auto notes = host.notes();
  // Every edit is bracketed: begin, perform, end, in that order.
  for (size_t i = 0; i < notes.size(); ++i) {
    if (notes[i].kind != 'p') continue;
    ASSERT_GE(i, 1u);
    ASSERT_LT(i + 1, notes.size());
    EXPECT_EQ(notes[i - 1].kind, 'b');
    EXPECT_EQ(notes[i + 1].kind, 'e');
  }
  if (runLoop) {
    for (size_t i = setUpNotes; i < notes.size(); ++i)
      EXPECT_TRUE(notes[i].onUiThread) << "'" << notes[i].kind << "' for " << notes[i].id
                                       << " off the host's UI thread";
  }
}

INSTANTIATE_TEST_SUITE_P(RunLoop, HostThreads, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "HostRunLoop" : "NoRunLoop"; });

TEST_F(Instrument, ManyInstancesAtOnceAreIndependent) {
  constexpr int kCount = 4;
  std::vector<std::unique_ptr<Instance>> insts(kCount);
  std::vector<std::thread> threads;
  // Created, set up and played from as many threads at once, each on its own tone; the
  // last is never triggered.
  for (int i = 0; i < kCount; ++i) {
    threads.emplace_back([&, i] {
      insts[size_t(i)] = std::make_unique<Instance>(factory());
      Instance& in = *insts[size_t(i)];
      if (!in.ok() || in.start(44100.0, 256) != kResultOk) return;
      ParamChanges tone;
      tone.add(kTone, 0, i / 3.0);
      // Each instance gets its note on its own channel; the last gets none, while idle
      // ticks pass as they do for the others.
      if (i < kCount - 1) {
        PlayNote(in, 256, int16(48 + i), &tone, int16(i));
        Render(in, 100, 256);
      } else {
        in.process(256, &tone);
        for (int b = 0; b < 100; ++b) {
          in.process(256);
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  double pitch[kCount] = {};
  for (int i = 0; i < kCount; ++i) {
    Instance& in = *insts[size_t(i)];
    ASSERT_TRUE(in.ok());
    if (i == kCount - 1) {
      EXPECT_EQ(corvatest::PeakAbs(in.left, 0, in.left.size()), 0.0);
      continue;
    }
    const size_t onset = corvatest::FirstAbove(in.left, 1e-3f);
    ASSERT_LT(onset + 24000, in.left.size()) << i;
    pitch[i] = corvatest::Pitch(in.left, onset + 12000, onset + 24000, 44100.0, 60, 3000);
    if (i > 0) {
      EXPECT_GT(pitch[i], pitch[i - 1] * 1.3) << i;
    }
  }
}

}  // namespace
