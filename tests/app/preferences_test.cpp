// The Preferences dialog's behaviour on in-memory controls, with a host that opens no
// devices, and through JACK where ports are involved.

#include "app/preferences.h"

#include <chrono>
#include <thread>

#include "tests/app/app_env.h"
#include "tests/app/fake_controls.h"
#include "tests/app/jack_peer.h"

namespace corva::test {
namespace {

using namespace app;

TEST(Preferences, ChannelListsFollowTheLeftListAndTheOptionIsRestoredByCancel) {
  AppEnv env;
  StandaloneHost* host = StandaloneHost::Create();
  host->noIo = true;
  ASSERT_TRUE(host->Init());
  FakeControls c;
  Preferences p(*host, c);
  p.Open();
  EXPECT_EQ(c.ComboCount(kPrefBufferSize), 11);
  EXPECT_EQ(c.ComboText(kPrefBufferSize, c.ComboSelection(kPrefBufferSize)), "512");
  EXPECT_FALSE(c.enabled[kPrefConfig]);

  // A device of 8 channels: "Input 1 (L)" lists 1..7, "Input 2 (R)" 1..8.
  for (int i = 1; i <= 8; ++i) {
    if (i < 8) c.ComboAdd(kPrefInputLeft, std::to_string(i), 0);
    c.ComboAdd(kPrefInputRight, std::to_string(i), 0);
  }
  c.choose(p, kPrefInputLeft, 3);
  EXPECT_EQ(host->state.audioInChanL, 4u);
  EXPECT_EQ(host->state.audioInChanR, 5u);
  EXPECT_EQ(c.ComboSelection(kPrefInputRight), 4);
  c.choose(p, kPrefInputRight, 0);
  EXPECT_EQ(c.ComboSelection(kPrefInputRight), 4);
  EXPECT_EQ(host->state.audioInChanR, 5u);

  c.choose(p, kPrefBufferSize, 4);
  EXPECT_EQ(host->state.bufferSize, 192u);
  c.checked[kPrefSpaceTrigger] = true;
  p.Command(kPrefSpaceTrigger);
  EXPECT_TRUE(host->SpaceTriggerEnabled());
  p.Command(kPrefCancel);
  EXPECT_EQ(c.result, 2);
  EXPECT_FALSE(host->SpaceTriggerEnabled());
  EXPECT_EQ(host->state.bufferSize, 512u);
  EXPECT_EQ(host->state.audioInChanL, 1u);

  // The option alone is no settings change: OK keeps the stream, and the file is written.
  p.Open();
  c.checked[kPrefSpaceTrigger] = true;
  p.Command(kPrefSpaceTrigger);
  EXPECT_TRUE(SameSettings(host->state, host->tempState));
  p.Command(kPrefOk);
  EXPECT_EQ(c.result, 1);
  host->SaveSettings();
  EXPECT_NE(env.readSettings().find("spacetrig=1\n"), std::string::npos);
}

TEST(Preferences, CancelReopensTheMidiPortsItRestores) {
  AppEnv env;
  JackServer server("prefs", 256);
  ASSERT_TRUE(server.ready());
  JackMidiSender a("corvasenda"), b("corvasendb");
  ASSERT_TRUE(a.ok() && b.ok());
  env.writeSettings("[audio]\ndriver=1\noutdev=system\n[midi]\nindev=" + a.portName() + "\n");
  StandaloneHost* host = StandaloneHost::Create();
  ASSERT_TRUE(host->Init());
  ASSERT_TRUE(host->ApplyAudioSettings());
  FakeControls c;
  Preferences p(*host, c);
  p.Open();
  EXPECT_FALSE(c.enabled[kPrefInputDevice]);  // JACK: one device for both
  // The system device's two playback ports: "1" on the left, "1" and "2" on the right.
  EXPECT_EQ(c.ComboCount(kPrefOutputLeft), 1);
  EXPECT_EQ(c.ComboText(kPrefOutputRight, c.ComboSelection(kPrefOutputRight)), "2");
  EXPECT_EQ(c.ComboText(kPrefMidiInput, c.ComboSelection(kPrefMidiInput)), a.portName());
  int bIndex = -1;
  for (int i = 0; i < c.ComboCount(kPrefMidiInput); ++i)
    if (c.ComboText(kPrefMidiInput, i) == b.portName()) bIndex = i;
  ASSERT_GT(bIndex, 0);
  c.choose(p, kPrefMidiInput, bIndex);
  EXPECT_EQ(host->state.midiInDev, b.portName());

  p.Command(kPrefCancel);
  EXPECT_EQ(host->state.midiInDev, a.portName());
  EXPECT_TRUE(host->AudioRunning());
  // The restored port is the open one again: a message from it arrives, one from the
  // other does not.
  host->StopAudioStream();
  iplug::IMidiMsg m;
  while (host->Plug()->mMidiMsgsFromCallback.Pop(m)) {
  }
  b.send({0xB0, 7, 1});
  a.send({0xB0, 7, 2});
  for (int i = 0; i < 100 && !(a.idle() && b.idle()); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::vector<int> values;
  while (host->Plug()->mMidiMsgsFromCallback.Pop(m)) values.push_back(m.mData2);
  EXPECT_EQ(values, std::vector<int>{2});
  StandaloneHost::Destroy();
}

TEST(Preferences, AfterADriverRoundTripOkAndCancelLeaveTheStreamRunningAtJacksOwnPeriod) {
  AppEnv env;
  ::unsetenv("PULSE_SERVER");  // PulseAudio is asked for and not found on the way
  JackServer server("roundtrip", 256);
  ASSERT_TRUE(server.ready());
  env.writeSettings("[audio]\ndriver=1\noutdev=system\nbuffer=512\n");
  StandaloneHost* host = StandaloneHost::Create();
  host->messageBox = [](const char*, const char*) {};
  ASSERT_TRUE(host->Init());
  ASSERT_TRUE(host->ApplyAudioSettings());
  FakeControls c;
  Preferences p(*host, c);
  for (int end : {kPrefOk, kPrefCancel}) {
    SCOPED_TRACE(end);
    p.Open();
    // The list shows the period the server runs, not the size the settings ask for.
    EXPECT_EQ(c.ComboText(kPrefBufferSize, c.ComboSelection(kPrefBufferSize)), "256");
    c.choose(p, kPrefDriver, 0);
    EXPECT_FALSE(host->AudioRunning());
    c.choose(p, kPrefDriver, 1);
    p.Command(end);
    EXPECT_TRUE(host->AudioRunning());
    EXPECT_EQ(host->state.driver, 1u);
    EXPECT_EQ(host->bufferSize, 256u);
  }
  StandaloneHost::Destroy();
}

}  // namespace
}  // namespace corva::test
