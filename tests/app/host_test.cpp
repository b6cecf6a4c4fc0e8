// The host without devices: settings file handling and the audio callback driven by hand.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "tests/app/app_env.h"

namespace corva::test {
namespace {

using app::StandaloneHost;

TEST(HostSettings, FirstStartWritesDefaultsAndBadValuesAreRepaired) {
  AppEnv env;
  StandaloneHost* host = StandaloneHost::Create();
  host->noIo = true;
  ASSERT_TRUE(host->Init());
  EXPECT_EQ(host->state.audioOutDev, "Default Device");
  EXPECT_EQ(env.readSettings(),
            "[audio]\ndriver=0\nindev=Default Device\noutdev=Default Device\nin1=1\nin2=2\nout1=1\nout2=2\n"
            "buffer=512\nsr=44100\n\n[midi]\nindev=off\noutdev=off\ninchan=0\noutchan=0\n\n[corva]\nspacetrig=0\n");

  // An audio section only, a long name, and values no device could take.
  env.writeSettings("[audio]\ndriver=7\nbuffer=0\nsr=-48000\nout1=1\noutdev=" + std::string(120, 'x') +
                    "\n[other]\nkeep=me\n\x01\x02garbage\n");
  host = StandaloneHost::Create();
  host->noIo = true;
  ASSERT_TRUE(host->Init());
  EXPECT_EQ(host->state.driver, 0u);
  EXPECT_EQ(host->state.bufferSize, 512u);
  EXPECT_EQ(host->state.sampleRate, 44100u);
  EXPECT_EQ(host->state.audioOutDev, std::string(99, 'x'));
  EXPECT_EQ(host->state.audioInDev, "Built-in Input");
  EXPECT_EQ(host->state.midiInDev, "no input");
  const std::string text = env.readSettings();
  EXPECT_NE(text.find("driver=0\n"), std::string::npos);
  EXPECT_NE(text.find("buffer=512\n"), std::string::npos);
  EXPECT_NE(text.find("keep=me\n"), std::string::npos);
  EXPECT_EQ(text.find("garbage"), std::string::npos);
}

TEST(AboutBox, NamesProductVersionYearMakerAndAddress) {
  AppEnv env;
  StandaloneHost* host = StandaloneHost::Create();
  // Without a display a message box is written on standard error as "title: text".
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(host->Plug()->OnHostRequestingAboutBox());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "About Tembrix Audio Corva-1: Tembrix Audio Corva-1 0.5.9\n" +
                                                          std::string(&__DATE__[7]) +
                                                          " Tembrix Audio\nhttps://www.tembrix.audio\n");
}

// Starts of the program, each reading the file the one before wrote.
std::string startOnce(AppEnv& env) {
  StandaloneHost* host = StandaloneHost::Create();
  host->noIo = true;
  EXPECT_TRUE(host->Init());
  return env.readSettings();
}

TEST(HostSettings, NamesAndQuotedValuesReadBackUnchangedAndASpecialFileNeverBlocks) {
  AppEnv env;
  // A FIFO where the file belongs: start-up reads nothing from it and goes on.
  env.writeSettings("");
  std::filesystem::remove(env.settingsFile());
  ASSERT_EQ(::mkfifo(env.settingsFile().c_str(), 0600), 0);
  auto started = std::async(std::launch::async, [&] { return startOnce(env); });
  if (started.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    ADD_FAILURE() << "start-up blocks on a FIFO";
    ::close(::open(env.settingsFile().c_str(), O_WRONLY | O_NONBLOCK));  // lets it go on
  }
  EXPECT_NE(started.get().find("outdev=Default Device\n"), std::string::npos);

  // A name whose 99th byte falls inside a character, and values with blanks and quotes
  // at their ends.
  const std::string longName = std::string(98, 'a') + "\xC3\xA9" + "tail";  // 98 bytes, then é
  env.writeSettings("[audio]\noutdev=" + longName + "\nindev=\"Mic \"\n[midi]\nindev=' In'\noutdev=\"\"x\"\"\n");
  const std::string first = startOnce(env);
  StandaloneHost* host = StandaloneHost::Get();
  EXPECT_EQ(host->state.audioOutDev, std::string(98, 'a'));
  EXPECT_EQ(host->state.audioInDev, "Mic ");
  EXPECT_EQ(host->state.midiInDev, " In");
  EXPECT_EQ(host->state.midiOutDev, "\"x\"");
  const app::HostSettings read = host->state;
  // Every later start reads what the one before wrote, and writes it again unchanged.
  const std::string second = startOnce(env);
  EXPECT_EQ(second, first);
  EXPECT_EQ(StandaloneHost::Get()->state.audioInDev, read.audioInDev);
  EXPECT_EQ(StandaloneHost::Get()->state.audioOutDev, read.audioOutDev);
  EXPECT_EQ(StandaloneHost::Get()->state.midiInDev, read.midiInDev);
  EXPECT_EQ(StandaloneHost::Get()->state.midiOutDev, read.midiOutDev);

  // A name the program holds, longer than the file keeps, is written as it reads back.
  StandaloneHost::Get()->state.audioOutDev = std::string(97, 'b') + "\xE2\x82\xAC";  // 97 bytes, then €
  StandaloneHost::Get()->SaveSettings();
  EXPECT_EQ(startOnce(env).find("\xE2"), std::string::npos);
  EXPECT_EQ(StandaloneHost::Get()->state.audioOutDev, std::string(97, 'b'));
}

// Runs the callback over buffers of the given sizes, each between guard values that
// must stay untouched, and returns the left channel.
std::vector<double> play(StandaloneHost& host, const std::vector<unsigned>& sizes) {
  constexpr double kGuard = 12345.0;
  constexpr unsigned kPad = 256;
  std::vector<double> left;
  for (unsigned n : sizes) {
    std::vector<double> buf(2 * n + 2 * kPad, kGuard);
    StandaloneHost::AudioCallback(buf.data() + kPad, nullptr, n, 0.0, 0, &host);
    for (unsigned i = 0; i < kPad; ++i) {
      EXPECT_EQ(buf[i], kGuard);
      EXPECT_EQ(buf[kPad + 2 * n + i], kGuard);
    }
    left.insert(left.end(), buf.begin() + kPad, buf.begin() + kPad + n);
  }
  return left;
}

TEST(HostCallback, AnyBufferSizeGivesTheSameSoundInsideItsBuffers) {
  AppEnv env;
  std::vector<unsigned> even(150, 64);
  std::vector<unsigned> odd = {64, 32, 96, 100, 192, 1, 1, 7, 1024, 64 - 17};
  unsigned total = 0;
  for (unsigned n : odd) total += n;
  even.assign(total / 64 + 1, 64);
  odd.push_back(static_cast<unsigned>(even.size() * 64) - total);

  const std::vector<double> reference = play(playingHost(), even);
  const std::vector<double> other = play(playingHost(), odd);
  ASSERT_EQ(reference.size(), other.size());
  double energy = 0.0;
  for (std::size_t i = 0; i < reference.size(); ++i) {
    ASSERT_EQ(reference[i], other[i]) << "frame " << i;
    energy += reference[i] * reference[i];
  }
  EXPECT_GT(energy, 0.0);  // the trigger sounded
}

TEST(HostCallback, FirstBufferFadesInAndTheBufferAfterAStopFadesOut) {
  AppEnv env;
  StandaloneHost& host = playingHost();
  (void)play(host, std::vector<unsigned>(200, 64));  // the instrument is sounding now
  StandaloneHost& fresh = playingHost();
  (void)play(fresh, std::vector<unsigned>(200, 64));
  fresh.PrepareCallback(48000);  // a new stream: its first buffer fades in
  const std::vector<double> first = play(fresh, {128});
  EXPECT_EQ(first[0], 0.0);
  fresh.audioEnding.store(true);
  const std::vector<double> last = play(fresh, {128});
  EXPECT_TRUE(fresh.audioDone.load());
  EXPECT_EQ(last[127], 0.0);
  EXPECT_NE(last[0], 0.0);
  for (double v : play(fresh, {64, 96})) EXPECT_EQ(v, 0.0);

  std::vector<double> ramp(2 * 4, 1.0);
  app::ApplyFade(ramp.data(), 2, 4, false);
  EXPECT_EQ(ramp, (std::vector<double>{0, 0.25, 0.5, 0.75, 0, 0.25, 0.5, 0.75}));
  app::ApplyFade(ramp.data(), 2, 4, true);
  EXPECT_EQ(ramp[1], 0.25 * 0.5);
}

}  // namespace
}  // namespace corva::test
