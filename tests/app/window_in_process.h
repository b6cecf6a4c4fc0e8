#pragma once
// The program's window in this process on a private Xvfb display, without devices and
// with the space bar playing the trigger, and the helpers that drive it while the window
// keeps handling its events.

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/app_window.h"
#include "platform/desktop.h"
#include "tests/app/app_env.h"
#include "tests/app/x_display.h"

namespace corva::test {

inline void pumpFor(unsigned ms) {
  platform::AddTimer(ms, [] {
    platform::DesktopQuit();
    return false;
  });
  platform::DesktopRun();
}

// Runs an X tool while the window keeps handling its events; returns the first line it
// printed.
inline std::string xdo(const std::vector<std::string>& args) {
  const std::string out = std::filesystem::temp_directory_path().string() + "/corva-xdo-out-" +
                          std::to_string(::getpid());
  const pid_t pid = start(args, out);
  for (int i = 0; i < 500 && ::waitpid(pid, nullptr, WNOHANG) == 0; ++i) pumpFor(10);
  std::ifstream in(out);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  std::filesystem::remove(out);
  return text.substr(0, text.find('\n'));
}

inline double trigger(app::StandaloneHost& host) { return host.Plug()->GetParam(kTrigger)->Value(); }

struct WindowInProcess {
  AppEnv env;
  Display display;
  app::StandaloneHost* host = nullptr;
  std::unique_ptr<app::AppWindow> window;
  std::string id;  // the window's X id, as xdotool names it

  // Starts the desktop, the host and the window; false when a part cannot be had.
  bool open() {
    int argc = 0;
    char** argv = nullptr;
    if (!display.ok || !platform::DesktopInit(&argc, &argv)) return false;
    env.writeSettings("[corva]\nspacetrig=1\n");
    host = app::StandaloneHost::Create();
    host->noIo = true;
    window = std::make_unique<app::AppWindow>(*host);
    if (!host->Init()) return false;
    window->Create();
    pumpFor(500);
    id = findWindow("Tembrix Audio Corva-1");
    return host->Plug()->GetUI() && !id.empty();
  }
};

}  // namespace corva::test
