// The host through a private PulseAudio daemon with a null sink, recorded from the
// sink's monitor with parec.

#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "bench/pitch_estimate.h"
#include "tests/app/app_env.h"
#include "tests/app/child_process.h"

namespace corva::test {
namespace {

using app::StandaloneHost;
using namespace std::chrono_literals;

class PulseDaemon {
 public:
  explicit PulseDaemon(const std::string& dir) {
    std::filesystem::create_directories(dir + "/home");
    std::filesystem::create_directories(dir + "/run");
    ::setenv("HOME", (dir + "/home").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (dir + "/run").c_str(), 1);
    const std::string socket = dir + "/pulse.sock";
    ::setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
    mPid = start({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit", "-L",
                  "module-null-sink sink_name=corva_null rate=48000 format=float32le channels=2", "-L",
                  "module-native-protocol-unix auth-anonymous=1 socket=" + socket},
                 "/dev/null");
    for (int i = 0; i < 200 && !std::filesystem::exists(socket); ++i) std::this_thread::sleep_for(25ms);
    std::this_thread::sleep_for(200ms);
  }
  ~PulseDaemon() {
    stop(mPid);
    ::unsetenv("PULSE_SERVER");
  }

 private:
  pid_t mPid = -1;
};

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
  for (unsigned buffer : {96u, 1024u}) {
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
    // After the stop the stream fades out and falls silent.
    EXPECT_LT(std::fabs(got.back()), 1e-4f);
  }
}

}  // namespace
}  // namespace corva::test
