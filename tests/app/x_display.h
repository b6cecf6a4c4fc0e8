#pragma once
// A private Xvfb display for a test program, and running the small X tools (xdotool).

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/child_process.h"

namespace corva::test {

using namespace std::chrono_literals;

inline std::string capture(const std::vector<std::string>& args) {
  const std::string out = std::filesystem::temp_directory_path().string() + "/corva-xdo-" + std::to_string(::getpid());
  std::vector<std::string> sh = {"sh", "-c", "\"$@\" > '" + out + "' 2>/dev/null", "sh"};
  sh.insert(sh.end(), args.begin(), args.end());
  finish(start(sh), 10s);
  std::ifstream in(out);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  std::filesystem::remove(out);
  return text;
}

inline std::string findWindow(const std::string& name, int tries = 500) {
  for (int i = 0; i < tries; ++i) {
    std::string id = capture({"xdotool", "search", "--name", name});
    if (!id.empty()) return id.substr(0, id.find('\n'));
    std::this_thread::sleep_for(20ms);
  }
  return "";
}

class Display {
 public:
  Display() {
    int fds[2];
    if (::pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // No -noreset: on a server that was not reset since an earlier GL client, Mesa's
    // software driver keeps two blocks in its own globals and loses them when it is
    // unloaded at exit, which the leak checker then reports against the program.
    const char* argv[] = {"Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", nullptr};
    if (::posix_spawnp(&mPid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ) != 0) mPid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    // The server writes its display number and a line break once it accepts clients.
    std::string number;
    char c = 0;
    while (::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(fds[0]);
    ok = !number.empty();
    if (ok) ::setenv("DISPLAY", (":" + number).c_str(), 1);
  }
  ~Display() {
    if (mPid > 0) {
      ::kill(mPid, SIGTERM);
      ::waitpid(mPid, nullptr, 0);
    }
  }
  bool ok = false;

 private:
  pid_t mPid = -1;
};

}  // namespace corva::test
