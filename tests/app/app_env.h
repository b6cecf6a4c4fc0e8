#pragma once
// A private configuration and data folder per test, and the helpers the host tests share.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/standalone_host.h"
#include "model/host.h"
#include "model/param_table.h"

namespace corva::test {

class AppEnv {
 public:
  AppEnv() {
    std::string p = std::filesystem::temp_directory_path().string() + "/corva-app-XXXXXX";
    path = ::mkdtemp(p.data()) ? p : "";
    ::setenv("XDG_CONFIG_HOME", (path + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (path + "/data").c_str(), 1);
  }
  ~AppEnv() {
    app::StandaloneHost::Destroy();
    std::filesystem::remove_all(path);
  }
  std::string settingsFile() const { return path + "/config/QVTCorva1/settings.ini"; }
  void writeSettings(const std::string& text) const {
    std::filesystem::create_directories(path + "/config/QVTCorva1");
    std::ofstream(settingsFile(), std::ios::binary) << text;
  }
  std::string readSettings() const {
    std::ifstream in(settingsFile(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string path;
};

inline void setParam(app::StandaloneHost& host, int id, float value) {
  auto* h = dynamic_cast<corva::Host*>(host.Plug());
  ASSERT_NE(h, nullptr);
  h->setParameter(id, value);
}

// The CPU time this process has used, in seconds.
inline double processCpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// Calls the host's stream watch as the window's timer does, for `ms` milliseconds.
inline void watchAudioFor(app::StandaloneHost& host, int ms) {
  for (int t = 0; t < ms; t += 50) {
    host.WatchAudio();
    ::usleep(50000);
  }
}

// A new process host whose messages are counted in `boxes` instead of shown.
inline app::StandaloneHost* countingHost(int& boxes) {
  app::StandaloneHost* host = app::StandaloneHost::Create();
  host->messageBox = [&boxes](const char*, const char*) { ++boxes; };
  return host;
}

// A new process host without devices, the trigger held, its callback readied for 48 kHz.
inline app::StandaloneHost& playingHost() {
  app::StandaloneHost* host = app::StandaloneHost::Create();
  host->noIo = true;
  EXPECT_TRUE(host->Init());
  setParam(*host, kTrigger, 1.0f);
  host->PrepareCallback(48000);
  return *host;
}

}  // namespace corva::test
