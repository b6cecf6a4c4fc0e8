// The idle handler's MIDI path: MIDI learn, the MIDI map, and the interface's copy of
// the values that MIDI toggles read.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "model/midi_map.h"
#include "model/midi_map_file.h"
#include "plugin/corva_plug.h"
#include "tests/plugin/plug_instance.h"
#include "tests/support/data_home.h"

namespace {

using namespace corva;

// No test in this program reads or writes the user's own data folder.
const test::ScopedDataHome processDataHome;

using test::makeIdlePlug;

void send(CorvaPlug& plug, std::uint8_t status, std::uint8_t d1, std::uint8_t d2) {
  plug.ProcessMidiMsg(iplug::IMidiMsg(0, status, d1, d2));
}

double value(CorvaPlug& plug, int idx) { return plug.GetParam(idx)->Value(); }

// The trigger values the plug-in sent the host, from its `from`-th edit on.
std::vector<double> triggerWrites(CorvaPlug& plug, std::size_t from = 0) {
  std::vector<double> writes;
  const auto edits = plug.hostEdits();
  for (std::size_t i = from; i < edits.size(); ++i)
    if (edits[i].kind == 'p' && edits[i].idx == kTrigger) writes.push_back(edits[i].normalized);
  return writes;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(IdleMidi, DefaultMapPlaysTheTriggerAndTheInterfaceFollows) {
  auto plug = makeIdlePlug();
  send(*plug, 0x95, 40, 100);
  plug->OnTimer();
  EXPECT_EQ(value(*plug, kTrigger), 1.0);
  EXPECT_EQ(plug->uiModel.uiParamValue(kTrigger), 1.0);
  send(*plug, 0x85, 40, 0);
  plug->OnTimer();
  EXPECT_EQ(value(*plug, kTrigger), 0.0);
  EXPECT_EQ(plug->uiModel.uiParamValue(kTrigger), 0.0);
  // A Note On with velocity 0 releases too.
  send(*plug, 0x90, 41, 1);
  send(*plug, 0x90, 41, 0);
  plug->OnTimer();
  EXPECT_EQ(value(*plug, kTrigger), 0.0);

  // A toggle reads the interface's copy each time, so a pedal pressed twice turns Echo
  // on and off again; values set by the host reach that copy constrained.
  send(*plug, 0xB0, 87, 127);
  plug->OnTimer();
  EXPECT_EQ(value(*plug, kEcho), 1.0);
  send(*plug, 0xB0, 87, 127);
  plug->OnTimer();
  EXPECT_EQ(value(*plug, kEcho), 0.0);
  plug->setParameter(kTime, 1000.0f);
  EXPECT_EQ(plug->uiModel.effectsPanel.value(kTime), 800.0f);
  EXPECT_EQ(plug->uiModel.uiParamValue(kTime), 800.0);
}

TEST(IdleMidi, LearnCapturesTheFirstNoteAndDispatchesTheRest) {
  test::ScopedDataHome home;
  auto plug = makeIdlePlug();
  plug->uiModel.setLearnArmed(true);
  plug->uiModel.learnTarget = kTrigger;
  // Two notes in one tick: the first is learned, the second plays as usual.
  send(*plug, 0x92, 60, 100);
  send(*plug, 0x90, 61, 100);
  plug->OnTimer();
  const MidiMapping learned{MidiSourceType::kNote, 60, 2};
  EXPECT_EQ(plug->uiModel.midiMap.slots[midiTargetSlot(kTrigger)], learned);
  EXPECT_EQ(plug->uiModel.learnTarget, -1);
  EXPECT_TRUE(plug->uiModel.learnArmed);
  EXPECT_FALSE(plug->midiMapSaveFailed);
  EXPECT_EQ(readFile(home.folder() + "/midi-map.txt"), formatMidiMap(plug->uiModel.midiMap));
  EXPECT_EQ(value(*plug, kTrigger), 1.0);  // from note 61, which no slot claims

  // A new instance starts with the saved map.
  auto next = makeIdlePlug();
  EXPECT_EQ(next->uiModel.midiMap, plug->uiModel.midiMap);
}

TEST(IdleMidi, LearnIgnoresWhatCannotBeASource) {
  test::ScopedDataHome home;
  auto plug = makeIdlePlug();
  MidiMap defaults;
  resetMidiMap(defaults);
  plug->uiModel.setLearnArmed(true);
  plug->uiModel.learnTarget = kVolume;
  // A note cannot drive a continuous target: it plays the trigger instead.
  send(*plug, 0x90, 60, 100);
  // All Notes Off is a channel mode message, never a source.
  send(*plug, 0xB0, 123, 0);
  plug->OnTimer();
  EXPECT_EQ(plug->uiModel.midiMap, defaults);
  EXPECT_EQ(plug->uiModel.learnTarget, kVolume);
  EXPECT_EQ(value(*plug, kTrigger), 1.0);
  EXPECT_FALSE(std::filesystem::exists(home.folder() + "/midi-map.txt"));

  send(*plug, 0xB5, 7, 90);
  plug->OnTimer();
  const MidiMapping learned{MidiSourceType::kCc, 7, 5};
  EXPECT_EQ(plug->uiModel.midiMap.slots[midiTargetSlot(kVolume)], learned);
  EXPECT_EQ(value(*plug, kVolume), 1.0);   // the learned message moved nothing
  EXPECT_EQ(value(*plug, kTrigger), 0.0);  // a capture lets go of held buttons
  EXPECT_TRUE(std::filesystem::exists(home.folder() + "/midi-map.txt"));
}

// The peak of channel 0 over `blocks` blocks of 64 frames.
double renderPeak(CorvaPlug& plug, int blocks) {
  std::vector<float> l(64), r(64);
  double peak = 0.0;
  for (int b = 0; b < blocks; ++b) {
    float* outs[] = {l.data(), r.data()};
    plug.ProcessBlock(nullptr, outs, 64);
    for (float v : l) peak = std::max(peak, std::fabs(static_cast<double>(v)));
  }
  return peak;
}

TEST(IdleMidi, NotesGateOnTheAudioThreadAndLearnStillTakesThemSilently) {
  test::ScopedDataHome home;
  auto plug = makeIdlePlug();
  EXPECT_TRUE(plug->SetSampleRate(48000.0));
  plug->OnReset();
  plug->uiModel.setLearnArmed(true);
  plug->uiModel.learnTarget = kTrigger;
  plug->redraw();  // as the interface does once a press has chosen the target
  send(*plug, 0x92, 60, 100);
  EXPECT_EQ(renderPeak(*plug, 40), 0.0) << "a note that learn takes does not sound";
  plug->OnTimer();
  const MidiMapping learned{MidiSourceType::kNote, 60, 2};
  EXPECT_EQ(plug->uiModel.midiMap.slots[midiTargetSlot(kTrigger)], learned);
  EXPECT_EQ(value(*plug, kTrigger), 0.0);
  EXPECT_EQ(renderPeak(*plug, 40), 0.0);

  // The learned note now plays from the audio thread, before any idle tick.
  plug->ProcessMidiMsg(iplug::IMidiMsg(10, 0x92, 60, 100));
  EXPECT_GT(renderPeak(*plug, 40), 0.01);
  plug->OnTimer();
  EXPECT_EQ(value(*plug, kTrigger), 1.0) << "the parameter and the interface still follow the note";
  EXPECT_EQ(plug->uiModel.uiParamValue(kTrigger), 1.0);

  // Released while the idle handler lags behind: a snapshot taken meanwhile (another
  // parameter changed) does not open the gate again from the stale trigger value.
  send(*plug, 0x82, 60, 0);
  renderPeak(*plug, 1);
  EXPECT_EQ(plug->engine.controls.trigger, 0);
  plug->setParameter(kVolume, 0.9f);
  renderPeak(*plug, 1);
  EXPECT_EQ(plug->engine.controls.trigger, 0);
  plug->OnTimer();
  EXPECT_EQ(value(*plug, kTrigger), 0.0);
  // The interface's own trigger still plays and releases as before.
  plug->setParameter(kTrigger, 1.0f);
  renderPeak(*plug, 1);
  EXPECT_EQ(plug->engine.controls.trigger, 1);
  plug->setParameter(kTrigger, 0.0f);
  renderPeak(*plug, 1);
  EXPECT_EQ(plug->engine.controls.trigger, 0);
}

TEST(IdleMidi, ABurstThatFillsTheRingStillReleasesTheTrigger) {
  auto plug = makeIdlePlug();
  EXPECT_TRUE(plug->SetSampleRate(48000.0));
  plug->OnReset();
  plug->OnTimer();
  send(*plug, 0x90, 40, 100);
  for (int i = 0; i < 64; ++i) send(*plug, 0xE0, 0, 64);  // pitch bends, which nothing takes
  send(*plug, 0x80, 40, 0);
  renderPeak(*plug, 1);
  EXPECT_EQ(plug->engine.controls.trigger, 0);
  plug->OnTimer();
  EXPECT_EQ(value(*plug, kTrigger), 0.0) << "the release whose copy found the ring full still arrives";
  EXPECT_EQ(plug->uiModel.uiParamValue(kTrigger), 0.0);
  ASSERT_FALSE(triggerWrites(*plug).empty());
  EXPECT_EQ(triggerWrites(*plug).back(), 0.0);

  // The next burst's gate changes, which all fit, play back in order and once: a note
  // shorter than a tick still presses and releases the trigger.
  const auto edits = plug->hostEdits().size();
  send(*plug, 0x90, 40, 100);
  send(*plug, 0x80, 40, 0);
  plug->OnTimer();
  EXPECT_EQ(triggerWrites(*plug, edits), (std::vector<double>{1.0, 0.0}));
}

TEST(IdleMidi, ConstructionReadsTheMapFileAndWritesNone) {
  test::ScopedDataHome home;
  {
    auto plug = makeIdlePlug();
    MidiMap defaults;
    EXPECT_EQ(plug->uiModel.midiMap, resetMidiMap(defaults));
    EXPECT_FALSE(std::filesystem::exists(home.folder()));
  }
  ASSERT_TRUE(saveMidiMapText(home.folder(), "# map\nhold note 36 10\n"));
  auto plug = makeIdlePlug();
  const MidiMapping hold{MidiSourceType::kNote, 36, 9};
  EXPECT_EQ(plug->uiModel.midiMap.slots[midiTargetSlot(kHold)], hold);
  // MIDI goes through the loaded map: the note flips Hold instead of playing.
  send(*plug, 0x99, 36, 100);
  plug->OnTimer();
  EXPECT_EQ(value(*plug, kHold), 1.0);
  EXPECT_EQ(value(*plug, kTrigger), 0.0);
}

TEST(IdleMidi, LedLevelGoesToTheInterfaceOncePerChange) {
  auto plug = makeIdlePlug();
  plug->ledLevel = 0.25f;
  plug->OnTimer();
  plug->OnTimer();
  EXPECT_EQ(plug->delegateSends(kLedLevel), 1);
  EXPECT_EQ(plug->uiModel.face.value(kLedLevel), 0.25f);
  plug->ledLevel = 0.5f;
  plug->OnTimer();
  plug->OnTimer();
  EXPECT_EQ(plug->delegateSends(kLedLevel), 2);
  EXPECT_EQ(plug->uiModel.face.value(kLedLevel), 0.5f);
}

TEST(IdleMidi, HeldSpaceIsReleasedWithNoEditor) {
  auto plug = makeIdlePlug();
  plug->setParameter(kTrigger, 1.0f);
  plug->spaceHeld = true;
  plug->OnTimer();
  EXPECT_FALSE(plug->spaceHeld);
  EXPECT_EQ(value(*plug, kTrigger), 0.0);
}

}  // namespace
