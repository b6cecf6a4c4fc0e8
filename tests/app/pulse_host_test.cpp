// The host through a private PulseAudio daemon with a null sink, recorded from the
// sink's monitor with parec.

#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/pitch_estimate.h"
#include "tests/app/app_env.h"
#include "tests/app/child_process.h"
#include "tests/support/temp_folder.h"

namespace corva::test {
namespace {

using app::StandaloneHost;
using namespace std::chrono_literals;

class PulseDaemon {
 public:
  explicit PulseDaemon(const std::string& dir) : mSocket(dir + "/pulse.sock") {
    std::filesystem::create_directories(dir + "/home");
    std::filesystem::create_directories(dir + "/run");
    ::setenv("HOME", (dir + "/home").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (dir + "/run").c_str(), 1);
    ::setenv("PULSE_SERVER", ("unix:" + mSocket).c_str(), 1);
    start();
  }
  ~PulseDaemon() {
    kill();
    ::unsetenv("PULSE_SERVER");
  }
  void start() {
    std::filesystem::remove(mSocket);
    mPid = test::start({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit", "-L",
                        "module-null-sink sink_name=corva_null rate=48000 format=float32le channels=2", "-L",
                        "module-native-protocol-unix auth-anonymous=1 socket=" + mSocket},
                       "/dev/null");
    for (int i = 0; i < 200 && !std::filesystem::exists(mSocket); ++i) std::this_thread::sleep_for(25ms);
    std::this_thread::sleep_for(200ms);
  }
  void kill() {
    stop(mPid);
    mPid = -1;
  }

 private:
  std::string mSocket;
  pid_t mPid = -1;
};

// What a pactl command prints, or an empty text when it fails.
std::string pactl(const std::string& dir, const std::vector<std::string>& args) {
  const std::string out = dir + "/pactl.txt";
  std::vector<std::string> command = {"pactl"};
  command.insert(command.end(), args.begin(), args.end());
  const pid_t p = start(command, out);
  return p >= 0 && finish(p, 10s) == 0 ? readBytes(out) : std::string();
}

// The first number after `key` in what `pactl list <what>` prints, or -1.
long pactlNumber(const std::string& dir, const std::string& what, const std::string& key) {
  const std::string text = pactl(dir, {"list", what});
  const std::size_t at = text.find(key);
  return at == std::string::npos ? -1 : std::atol(text.c_str() + at + key.size());
}

std::vector<float> readFloats(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  std::vector<float> out(bytes.size() / sizeof(float));
  std::memcpy(out.data(), bytes.data(), out.size() * sizeof(float));
  return out;
}

TEST(PulseHost, TriggerPlaysThroughTheDefaultDeviceAtAnyBufferSize) {
  AppEnv env;
  PulseDaemon daemon(env.path + "/pulse");
  for (unsigned buffer : {96u, 256u, 1024u}) {
    SCOPED_TRACE(buffer);
    env.writeSettings("[audio]\ndriver=0\noutdev=Gone Device\nsr=48000\nbuffer=" + std::to_string(buffer) + "\n");
    int boxes = 0;
    StandaloneHost* host = countingHost(boxes);
    ASSERT_TRUE(host->Init());
    ASSERT_TRUE(host->ApplyAudioSettings());
    EXPECT_EQ(boxes, 0);
    EXPECT_EQ(host->bufferSize, buffer);
    // The null sink is the daemon's default and only device.
    EXPECT_EQ(host->state.audioOutDev, "Null Output");
    EXPECT_NE(env.readSettings().find("outdev=Null Output\n"), std::string::npos);

    const std::string raw = env.path + "/rec.raw";
    const pid_t rec = start({"parec", "--device=corva_null.monitor", "--format=float32le", "--rate=48000",
                             "--channels=1", "--raw", "--latency-msec=20"},
                            raw);
    std::this_thread::sleep_for(300ms);
    setParam(*host, kTrigger, 1.0f);
    // The daemon takes its time to start a stream on the null sink; wait for the audio.
    for (int k = 0; k < 400 && host->samplesElapsed < 48000 * 2; ++k) std::this_thread::sleep_for(25ms);
    // Playable from a keyboard: what the server holds for the stream and what the device
    // buffers come to a few periods, not the server's default of a good part of a second.
    if (buffer == 256) {
      const long stream = pactlNumber(env.path, "sink-inputs", "Buffer Latency: ");
      const long sink = pactlNumber(env.path, "sinks", "configured ");
      EXPECT_GE(stream, 0);
      EXPECT_GE(sink, 0);
      EXPECT_LE(stream + sink, 25000) << stream << " + " << sink << " us";
    }
    StandaloneHost::Destroy();
    std::this_thread::sleep_for(200ms);
    stop(rec);

    const std::vector<float> got = readFloats(raw);
    std::size_t start = 0;
    while (start < got.size() && std::fabs(got[start]) < 1e-4f) ++start;
    ASSERT_LT(start + 28800, got.size());
    const bench::PitchEstimate have = bench::estimatePitch(got, start + 4800, start + 28800, 48000);
    EXPECT_GT(have.meanHz, 50.0);
    EXPECT_GT(have.rms, 0.01);
    // After the stop the stream fades out and falls silent: the faded last buffer is
    // played, not dropped with what the server held, so the sound does not end at full
    // level.
    EXPECT_LT(std::fabs(got.back()), 1e-4f);
    std::size_t end = got.size();
    while (end > start && std::fabs(got[end - 1]) < 1e-4f) --end;
    float peak = 0, last = 0;
    for (std::size_t i = start; i < end; ++i) peak = std::max(peak, std::fabs(got[i]));
    for (std::size_t i = end - buffer / 4; i < end; ++i) last = std::max(last, std::fabs(got[i]));
    EXPECT_LT(last, 0.35f * peak);
  }
}

TEST(PulseHost, ADaemonThatGoesAwayIsSaidOnceAndTheStreamComesBackWithIt) {
  AppEnv env;
  PulseDaemon daemon(env.path + "/pulse");
  env.writeSettings("[audio]\ndriver=0\noutdev=Null Output\nsr=48000\nbuffer=256\n");
  int boxes = 0;
  StandaloneHost* host = countingHost(boxes);
  ASSERT_TRUE(host->Init());
  ASSERT_TRUE(host->ApplyAudioSettings());
  std::this_thread::sleep_for(300ms);
  ASSERT_TRUE(host->AudioRunning());

  daemon.kill();
  // The end of the stream is noticed and said once; opening it again is tried every few
  // seconds, quietly, at next to no cost (a stream that spins takes a whole core).
  const double cpu = processCpuSeconds();
  watchAudioFor(*host, 4000);
  EXPECT_EQ(boxes, 1);
  EXPECT_TRUE(host->AudioLost());
  EXPECT_FALSE(host->AudioRunning());
  EXPECT_LT(processCpuSeconds() - cpu, 0.8);

  daemon.start();
  const auto end = std::chrono::steady_clock::now() + 20s;
  while (!host->AudioRunning() && std::chrono::steady_clock::now() < end) watchAudioFor(*host, 100);
  ASSERT_TRUE(host->AudioRunning());
  // The new daemon takes its time to start the null sink.
  for (int k = 0; k < 400 && host->samplesElapsed < 48000; ++k) std::this_thread::sleep_for(25ms);
  EXPECT_GE(host->samplesElapsed, 48000u);
  EXPECT_EQ(boxes, 1);
  EXPECT_EQ(host->state.audioOutDev, "Null Output");
  StandaloneHost::Destroy();
}

// The tab-separated fields of each line of `text`.
std::vector<std::vector<std::string>> rows(const std::string& text) {
  std::vector<std::vector<std::string>> out;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string>& row = out.emplace_back();
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) row.push_back(field);
  }
  return out;
}

TEST(PulseHost, ADeviceWhoseNameTheFileCutsIsFoundAgainAtTheNextStart) {
  AppEnv env;
  PulseDaemon daemon(env.path + "/pulse");
  const std::string name = "Long" + std::string(120, 'x');
  ASSERT_FALSE(pactl(env.path, {"load-module", "module-null-sink", "sink_name=corva_long",
                                "sink_properties=device.description=" + name})
                   .empty());
  env.writeSettings("[audio]\ndriver=0\noutdev=" + name + "\nsr=48000\nbuffer=256\n");
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    int boxes = 0;
    StandaloneHost* host = countingHost(boxes);
    ASSERT_TRUE(host->Init());
    ASSERT_TRUE(host->ApplyAudioSettings());
    EXPECT_EQ(boxes, 0);
    // The choice stays, as the file keeps it, and the stream plays on that sink.
    EXPECT_EQ(host->state.audioOutDev, name.substr(0, 99));
    EXPECT_NE(env.readSettings().find("outdev=" + name.substr(0, 99) + "\n"), std::string::npos);
    std::string sink, playsOn;
    for (const auto& row : rows(pactl(env.path, {"list", "short", "sinks"})))
      if (row.size() > 1 && row[1] == "corva_long") sink = row[0];
    for (int k = 0; k < 100 && playsOn.empty(); ++k) {
      const auto streams = rows(pactl(env.path, {"list", "short", "sink-inputs"}));
      if (!streams.empty() && streams[0].size() > 1) playsOn = streams[0][1];
      else std::this_thread::sleep_for(50ms);
    }
    EXPECT_FALSE(sink.empty());
    EXPECT_EQ(playsOn, sink);
    StandaloneHost::Destroy();
  }
}

}  // namespace
}  // namespace corva::test
