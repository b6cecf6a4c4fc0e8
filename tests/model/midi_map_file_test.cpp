#include "model/midi_map_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <random>

#include "model/data_folder.h"
#include "tests/support/temp_folder.h"

namespace corva {
namespace {

MidiMap defaults() {
  MidiMap map;
  return resetMidiMap(map);
}

MidiMap parsed(const std::string& text) {
  MidiMap map;
  return parseMidiMap(map, text);
}

const char* const kDefaultText =
    "# Corva-1 MIDI map, v1\n"
    "trigger none\n"
    "hold cc 64 any\n"
    "corvaBtn cc 85 any\n"
    "toneBtn cc 86 any\n"
    "tone cc 16 any\n"
    "mode cc 17 any\n"
    "speed cc 18 any\n"
    "volume cc 19 any\n"
    "reverb cc 20 any\n"
    "feedback cc 21 any\n"
    "time cc 22 any\n"
    "echo cc 87 any\n";

TEST(MidiMapFile, DefaultMapTextAndDegenerateFiles) {
  EXPECT_EQ(formatMidiMap(defaults()), kDefaultText);
  EXPECT_EQ(parsed(kDefaultText), defaults());
  EXPECT_EQ(parsed("# Corva-1 MIDI map, v1\n"), defaults());
  EXPECT_EQ(parsed(""), defaults());
  EXPECT_EQ(parsed("\n\n \t\r\n#\n"), defaults());
  EXPECT_EQ(parsed(std::string("hold cc 6\0 any\nmode\0 none\n", 26)), defaults());
}

TEST(MidiMapFile, LineEndings) {
  const std::string lf = "hold note 36 10\nvolume cc 16 any\necho none";  // last line has no LF
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const MidiMap map = parsed(lf);
  EXPECT_EQ(parsed(crlf), map);
  EXPECT_EQ(map.slots[midiTargetSlot(kHold)], (MidiMapping{MidiSourceType::kNote, 36, 9}));
  EXPECT_EQ(map.slots[midiTargetSlot(kEcho)], MidiMapping{});
}

TEST(MidiMapFile, SingleLines) {
  const MidiMapping none{};
  const auto cc = [](std::uint8_t n, std::uint8_t ch) { return MidiMapping{MidiSourceType::kCc, n, ch}; };
  const struct {
    const char* line;
    int target;  // slot to check, -1: the whole map stays the default
    MidiMapping expected;
  } cases[] = {
      {"hold cc 64 1", kHold, cc(64, 0)},
      {"hold cc 64 0", -1, none},
      {"hold cc 64 17", -1, none},
      {"hold cc 128 any", -1, none},
      {"hold cc 120 any", -1, none},
      {"hold cc -1 any", -1, none},
      {"hold cc +64 any", kHold, cc(64, 255)},
      {"hold cc 64x any", -1, none},
      {"hold cc 64 1x", -1, none},
      {"hold CC 64 any", -1, none},
      {"Hold cc 64 any", -1, none},
      {"hold cc 64", -1, none},
      {"hold cc 64 any extra", -1, none},
      {"tone note 60 any", -1, none},
      {"vcc cc 30 any", -1, none},
      {"trigger note 60 any", kTrigger, MidiMapping{MidiSourceType::kNote, 60, 255}},
      {"echo note 127 16", kEcho, MidiMapping{MidiSourceType::kNote, 127, 15}},
      {"reverb cc 20 any # learnt", kReverb, cc(20, 255)},
      {"reverb cc 2#0 any", -1, none},
      {"\t hold\tcc  1\vany ", kHold, cc(1, 255)},
      {"trigger none", -1, none},
      {"trigger none extra", -1, none},
  };
  for (const auto& c : cases) {
    const MidiMap map = parsed(c.line);
    if (c.target < 0) {
      EXPECT_EQ(map, defaults()) << c.line;
    } else {
      EXPECT_EQ(map.slots[midiTargetSlot(c.target)], c.expected) << c.line;
    }
  }

  MidiMap expected = defaults();
  expected.slots[midiTargetSlot(kVolume)] = cc(16, 255);
  expected.slots[midiTargetSlot(kTone)] = none;
  EXPECT_EQ(parsed("volume cc 16 any"), expected);

  expected = defaults();
  expected.slots[midiTargetSlot(kHold)] = none;
  EXPECT_EQ(parsed("hold none"), expected);

  // The last valid line of a key wins; a bad line in between changes nothing.
  EXPECT_EQ(parsed("hold cc 1 any\nhold cc 999 any\nhold cc 2 any\n").slots[1], cc(2, 255));
}

// Builds maps the way the reader, MIDI learn and learn clicks do: valid sources only.
MidiMap randomReachableMap(std::mt19937& rng) {
  MidiMap map;
  resetMidiMap(map);
  const int steps = std::uniform_int_distribution<int>(0, 40)(rng);
  for (int s = 0; s < steps; ++s) {
    const unsigned target = kMidiTargets[rng() % kNumMidiTargets];
    const MidiTargetKind kind = midiTargetKind(target);
    const bool noteAllowed = kind == MidiTargetKind::kMomentary || kind == MidiTargetKind::kToggle;
    MidiMapping source;
    switch (rng() % 4) {
      case 0:
        break;  // cleared by a learn click
      case 1:
        if (!noteAllowed) continue;
        source = {MidiSourceType::kNote, static_cast<std::uint8_t>(rng() % 128), 0};
        break;
      default:  // controllers are the common case, and collide more often
        source = {MidiSourceType::kCc, static_cast<std::uint8_t>(rng() % 24), 0};
        break;
    }
    if (source.type != MidiSourceType::kNone) {
      source.channel = rng() % 3 == 0 ? kAnyMidiChannel : static_cast<std::uint8_t>(rng() % 16);
    }
    assignMidiMapping(map, target, source);
  }
  return map;
}

TEST(MidiMapFile, EveryReachableMapSurvivesWriteThenRead) {
  std::mt19937 rng(20261209);
  for (int i = 0; i < 5000; ++i) {
    const MidiMap map = randomReachableMap(rng);
    const std::string text = formatMidiMap(map);
    ASSERT_EQ(parsed(text), map) << text;
    ASSERT_EQ(formatMidiMap(parsed(text)), text);
  }
}

class MidiMapDataFolder : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("XDG_DATA_HOME", tmp.path().c_str(), 1); }
  std::string folder() const { return tmp.path() + "/Tembrix/QVTCorva1"; }
  test::TempFolder tmp;
};

TEST_F(MidiMapDataFolder, LoadFallsBackToDefaults) {
  EXPECT_EQ(dataFolder(), folder());
  EXPECT_EQ(midiMapPath(folder()), folder() + "/midi-map.txt");
  EXPECT_EQ(loadMidiMap(), defaults());  // missing

  ASSERT_TRUE(makeDirs(folder()));
  std::string big = "hold cc 1 any\n";
  big.resize(65537, '\n');
  test::writeBytes(midiMapPath(folder()), big);
  EXPECT_EQ(loadMidiMap(), defaults());  // too large

  big.resize(65536);
  test::writeBytes(midiMapPath(folder()), big);
  EXPECT_EQ(loadMidiMap().slots[1], (MidiMapping{MidiSourceType::kCc, 1, 255}));
}

TEST_F(MidiMapDataFolder, SaveCreatesTheFolderAndLoadReadsItBack) {
  MidiMap map = defaults();
  assignMidiMapping(map, kTrigger, MidiMapping{MidiSourceType::kNote, 36, 9});
  ASSERT_TRUE(saveMidiMapText(dataFolder(), formatMidiMap(map)));
  EXPECT_EQ(loadMidiMap(), map);
  std::string text;
  ASSERT_TRUE(loadMidiMapText(folder(), text));
  EXPECT_EQ(text, formatMidiMap(map));
}

TEST_F(MidiMapDataFolder, SaveIntoABlockedFolderFailsAndKeepsTheFile) {
  ASSERT_TRUE(saveMidiMapText(folder(), kDefaultText));
  // A regular file where a folder should be: the save fails without writing anything.
  test::writeBytes(tmp / "blocked", "x");
  EXPECT_FALSE(saveMidiMapText(tmp / "blocked/QVTCorva1", "hold none\n"));
  EXPECT_FALSE(saveMidiMapText(tmp / "blocked", "hold none\n"));
  EXPECT_EQ(test::readBytes(tmp / "blocked"), "x");
  EXPECT_EQ(test::readBytes(midiMapPath(folder())), kDefaultText);
}

}  // namespace
}  // namespace corva
