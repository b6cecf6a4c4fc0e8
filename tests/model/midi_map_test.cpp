#include "model/midi_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <utility>
#include <vector>

#include "model/midi_dispatch.h"

namespace corva {
namespace {

MidiMapping cc(std::uint8_t number, std::uint8_t channel = kAnyMidiChannel) {
  return {MidiSourceType::kCc, number, channel};
}
MidiMapping note(std::uint8_t number, std::uint8_t channel = kAnyMidiChannel) {
  return {MidiSourceType::kNote, number, channel};
}
MidiMap defaults() {
  MidiMap map;
  return resetMidiMap(map);
}

TEST(MidiMap, DefaultMapAndLabels) {
  const MidiMap map = defaults();
  EXPECT_EQ(map.slots[0], MidiMapping{});  // trigger: any unclaimed note plays it
  EXPECT_EQ(map.slots[1], cc(64));
  EXPECT_EQ(map.slots[11], cc(87));
  EXPECT_EQ(midiMappingLabel(map, kTrigger), "-");
  EXPECT_EQ(midiMappingLabel(map, kHold), "CC64");
  EXPECT_EQ(midiMappingLabel(map, kOversample), "-");

  MidiMap learnt = map;
  assignMidiMapping(learnt, kTrigger, note(36, 9));
  EXPECT_EQ(midiMappingLabel(learnt, kTrigger), "N36:10");
  assignMidiMapping(learnt, kTrigger, cc(119, 15));
  EXPECT_EQ(midiMappingLabel(learnt, kTrigger), "CC119:16");
}

TEST(MidiMap, AssignTakesTheSameSourceAwayFromOtherSlots) {
  MidiMap map = defaults();
  assignMidiMapping(map, kVolume, cc(20, 0));  // another channel: a different source
  EXPECT_EQ(map.slots[midiTargetSlot(kReverb)], cc(20));
  assignMidiMapping(map, kVolume, cc(20));
  EXPECT_EQ(map.slots[midiTargetSlot(kVolume)], cc(20));
  EXPECT_EQ(map.slots[midiTargetSlot(kReverb)], MidiMapping{});

  assignMidiMapping(map, kHold, MidiMapping{});  // clearing touches no other slot
  EXPECT_EQ(map.slots[midiTargetSlot(kHold)], MidiMapping{});
  EXPECT_EQ(map.slots[midiTargetSlot(kVolume)], cc(20));

  const MidiMap before = map;
  assignMidiMapping(map, kOversample, cc(20));
  assignMidiMapping(map, 200, cc(20));
  EXPECT_EQ(map, before);
  EXPECT_EQ(midiTargetSlot(kOversample), -1);
  EXPECT_EQ(midiTargetSlot(kEcho), 11);
}

TEST(MidiMap, ExactChannelBeatsAnyChannelWhereverItStands) {
  MidiMap map = defaults();
  assignMidiMapping(map, kEcho, cc(64, 2));  // slot 11, after hold's any-channel CC 64
  EXPECT_EQ(findMidiTarget(map, MidiSourceType::kCc, 64, 2), kEcho);
  EXPECT_EQ(findMidiTarget(map, MidiSourceType::kCc, 64, 0), kHold);
  EXPECT_EQ(findMidiTarget(map, MidiSourceType::kNote, 64, 0), -1);
  EXPECT_EQ(findMidiTarget(map, MidiSourceType::kCc, 99, 0), -1);
}

TEST(MidiMap, TargetKinds) {
  EXPECT_EQ(midiTargetKind(kTrigger), MidiTargetKind::kMomentary);
  EXPECT_EQ(midiTargetKind(kToneBtn), MidiTargetKind::kMomentary);
  EXPECT_EQ(midiTargetKind(kEcho), MidiTargetKind::kToggle);
  EXPECT_EQ(midiTargetKind(kHold), MidiTargetKind::kToggle);
  EXPECT_EQ(midiTargetKind(kSpeed), MidiTargetKind::kStepped);
  EXPECT_EQ(midiTargetKind(kTime), MidiTargetKind::kContinuous);
}

// Records the parameter writes; the interface's values are whatever the test sets.
struct FakeUi : UiParamValues, Host {
  std::map<int, double> values;
  std::vector<std::pair<int, float>> writes;

  double uiParamValue(int id) const override {
    auto it = values.find(id);
    return it == values.end() ? 0.0 : it->second;
  }
  void setParameter(int index, float value) override {
    writes.emplace_back(index, value);
    values[index] = value;  // the value comes back to the interface, as in the plug-in
  }
  void redraw() override {}
  double nowSeconds() override { return 0; }
  void switchPressed() override {}
  void valueEdited(bool) override {}
  bool openUrl(const char*) override { return false; }
  void dismissNotice(const char*) override {}
  bool midiLearnAvailable() override { return true; }
  void saveMidiMap(const MidiMap&) override {}

  void send(const MidiMap& map, std::uint8_t status, std::uint8_t d1, std::uint8_t d2) {
    dispatchMidiMessage(status, d1, d2, map, *this, *this);
  }
  float last() const { return writes.empty() ? -1.f : writes.back().second; }
};

TEST(MidiDispatch, UnclaimedNotesPlayTheTriggerOnAnyNoteAndChannel) {
  const MidiMap map = defaults();
  FakeUi ui;
  ui.send(map, 0x90, 60, 100);
  ui.send(map, 0x80, 60, 0);
  ui.send(map, 0x9F, 12, 1);
  ui.send(map, 0x9F, 12, 0);  // Note On with velocity 0 is a release
  const std::vector<std::pair<int, float>> expected = {
      {kTrigger, 1.f}, {kTrigger, 0.f}, {kTrigger, 1.f}, {kTrigger, 0.f}};
  EXPECT_EQ(ui.writes, expected);
}

TEST(MidiDispatch, NotesIgnoredForSteppedAndContinuousTargets) {
  MidiMap map = defaults();
  // The file and learn refuse these; a map built in code may still hold them.
  map.slots[midiTargetSlot(kTone)] = note(40);
  map.slots[midiTargetSlot(kVolume)] = note(41);
  FakeUi ui;
  ui.send(map, 0x90, 40, 100);
  ui.send(map, 0x90, 41, 100);
  ui.send(map, 0x80, 41, 0);
  EXPECT_TRUE(ui.writes.empty());
}

TEST(MidiDispatch, ControllerValues) {
  const MidiMap map = defaults();
  FakeUi ui;
  const struct {
    std::uint8_t controller, value;
    int target;
    float expected;
  } cases[] = {
      {18, 31, kSpeed, 0.f},    {18, 32, kSpeed, 1.f},   {18, 127, kSpeed, 3.f}, {22, 0, kTime, 40.f},
      {22, 127, kTime, 800.f},  {19, 127, kVolume, 1.f}, {19, 0, kVolume, 0.f},  {85, 64, kCorvaBtn, 1.f},
      {85, 63, kCorvaBtn, 0.f}, {19, 255, kVolume, 1.f},  // a malformed data byte stays inside the range
  };
  for (const auto& c : cases) {
    ui.send(map, 0xB3, c.controller, c.value);
    ASSERT_FALSE(ui.writes.empty());
    EXPECT_EQ(ui.writes.back().first, c.target) << int{c.controller};
    EXPECT_FLOAT_EQ(ui.last(), c.expected) << int{c.controller} << " " << int{c.value};
  }
  // Half way in controller steps is the geometric middle of 40..800 ms.
  ui.send(map, 0xB0, 22, 64);
  EXPECT_NEAR(ui.last(), 40.f * std::pow(20.f, 64.f / 127.f), 1e-3);

  ui.writes.clear();
  ui.send(map, 0xB0, 30, 127);  // unmapped controller
  ui.send(map, 0xE0, 0, 64);    // pitch bend
  ui.send(map, 0xC0, 5, 0);     // program change
  ui.send(map, 0xA0, 60, 64);   // polyphonic pressure
  EXPECT_TRUE(ui.writes.empty());
}

TEST(MidiDispatch, TogglesFlipOncePerPress) {
  MidiMap map = defaults();
  assignMidiMapping(map, kHold, note(50));
  FakeUi ui;
  ui.send(map, 0xB0, 87, 127);  // echo off -> on
  ui.send(map, 0xB0, 87, 0);    // pedal release: nothing
  ui.send(map, 0xB0, 87, 127);  // on -> off
  ui.send(map, 0x90, 50, 90);   // hold off -> on
  ui.send(map, 0x80, 50, 0);    // release: nothing
  ui.send(map, 0x90, 50, 90);   // on -> off
  const std::vector<std::pair<int, float>> expected = {{kEcho, 1.f}, {kEcho, 0.f}, {kHold, 1.f}, {kHold, 0.f}};
  EXPECT_EQ(ui.writes, expected);

  ui.values[kEcho] = 0.5;  // 0.5 counts as on
  toggleMidiTarget(kEcho, ui, ui);
  EXPECT_EQ(ui.last(), 0.f);
}

}  // namespace
}  // namespace corva
