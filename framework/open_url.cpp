#include "framework/open_url.h"

#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

extern char** environ;

namespace iplug {

namespace {

// Children still running when the caller stopped waiting; reaped on later calls so
// that none is left a zombie for long.
std::mutex gChildrenMutex;
std::vector<pid_t> gChildren;

void ReapFinishedChildren() {
  std::lock_guard<std::mutex> lock(gChildrenMutex);
  for (auto it = gChildren.begin(); it != gChildren.end();) {
    int status = 0;
    const pid_t r = waitpid(*it, &status, WNOHANG);
    it = (r == 0) ? it + 1 : gChildren.erase(it);
  }
}

bool Acceptable(const char* url) {
  if (!url || !url[0] || url[0] == '-') return false;
  for (const char* p = url; *p; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

}  // namespace

bool OpenUrlInBrowser(const char* url) {
  ReapFinishedChildren();
  if (!Acceptable(url)) return false;
  std::vector<char> program(std::begin("xdg-open"), std::end("xdg-open"));
  std::vector<char> address(url, url + std::strlen(url) + 1);
  char* argv[] = {program.data(), address.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0) return false;
  // xdg-open hands the address to the browser and exits; wait a little for its verdict
  // but never hold the interface for long.
  for (int i = 0; i < 150; ++i) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (r < 0 && errno != EINTR) return false;
    const timespec tenMs{0, 10 * 1000 * 1000};
    nanosleep(&tenMs, nullptr);
  }
  std::lock_guard<std::mutex> lock(gChildrenMutex);
  gChildren.push_back(pid);
  return true;
}

}  // namespace iplug
