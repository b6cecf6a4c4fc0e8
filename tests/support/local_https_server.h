#pragma once
// The local HTTPS servers of https_server.py, run for as long as the object lives, with
// a test certificate authority made when it starts. The servers stop when their
// standard input closes.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>

extern char** environ;

namespace corva::test {

class LocalHttpsServer {
 public:
  explicit LocalHttpsServer(const std::string& script) {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/corva-https-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
      ADD_FAILURE() << "mkdtemp failed";
      return;
    }
    work = pattern;
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::string python = "python3";
    char* argv[] = {python.data(), const_cast<char*>(script.c_str()), work.data(), nullptr};
    if (posix_spawnp(&pid, "python3", &actions, nullptr, argv, environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    toServer = in[1];
    std::string line;
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(out[0]);
    std::istringstream words(line);
    for (std::string word; words >> word;) {
      const auto eq = word.find('=');
      if (eq != std::string::npos) fields[word.substr(0, eq)] = word.substr(eq + 1);
    }
    if (fields.count("ca") == 0) ADD_FAILURE() << "the HTTPS test server did not start";
  }

  ~LocalHttpsServer() {
    if (toServer >= 0) ::close(toServer);
    if (pid > 0) {
      int status = 0;
      ::waitpid(pid, &status, 0);
    }
    std::error_code ec;
    if (!work.empty()) std::filesystem::remove_all(work, ec);
  }
  LocalHttpsServer(const LocalHttpsServer&) = delete;
  LocalHttpsServer& operator=(const LocalHttpsServer&) = delete;

  std::string caFile() const { return field("ca"); }
  int port(const std::string& server) const { return std::atoi(field(server).c_str()); }
  // "https://localhost:<port of server>" + path.
  std::string url(const std::string& server, const std::string& path) const {
    return "https://localhost:" + field(server) + path;
  }
  // Where /file/NAME and /corva/news.txt are served from.
  std::string filesFolder() const { return work + "/files"; }
  std::string requestLog() const { return work + "/requests.log"; }

  std::string work;

 private:
  std::string field(const std::string& key) const {
    const auto it = fields.find(key);
    return it == fields.end() ? std::string() : it->second;
  }

  pid_t pid = -1;
  int toServer = -1;
  std::map<std::string, std::string> fields;
};

}  // namespace corva::test
