#pragma once
// One running instance of a program per name, user and display, through an
// abstract-namespace Unix socket.
// The name exists exactly while the first instance's process lives (even after kill -9
// the kernel frees it). A second start connects to it and asks the first to present
// its window.

#include <string>

namespace platform {

class SingleInstance {
 public:
  // The socket name is SessionName(name); the environment variable CORVA_INSTANCE_NAME,
  // when set and not empty, replaces it, so that tests running side by side each get
  // their own.
  explicit SingleInstance(const std::string& name);
  // `name`, the effective user id and the display ($DISPLAY without its screen number),
  // so that each user and each display has its own instance.
  static std::string SessionName(const std::string& name);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  enum class Result {
    kFirst,       // this process now holds the name
    kOtherAsked,  // another instance holds it and was asked to present its window
    kFailed,      // the socket could not be made, or another user holds the name; run
                  // as if first
  };
  Result Acquire();

  // The listening socket while this process holds the name, else -1. When it becomes
  // readable, call TakeRequests().
  int Fd() const { return mListenFd; }
  // Accepts every waiting request without blocking; returns how many asked to present
  // the window.
  int TakeRequests();

 private:
  std::string mName;
  int mListenFd = -1;
};

}  // namespace platform
