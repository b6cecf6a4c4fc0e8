#include "platform/single_instance.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

constexpr char kPresentRequest[] = "present\n";

// An abstract address: a leading zero byte, then the name (not zero-terminated).
socklen_t makeAddress(const std::string& name, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  const std::size_t n = std::min(name.size(), sizeof addr.sun_path - 1);
  std::memcpy(addr.sun_path + 1, name.data(), n);
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
}

}  // namespace

std::string SingleInstance::SessionName(const std::string& name) {
  // The display without its screen number: ":0" and ":0.0" are the same server.
  const char* env = std::getenv("DISPLAY");
  std::string display = env ? env : "";
  const std::size_t colon = display.rfind(':');
  const std::size_t dot = display.find('.', colon == std::string::npos ? 0 : colon);
  if (colon != std::string::npos && dot != std::string::npos) display.resize(dot);
  return name + "." + std::to_string(::geteuid()) + "." + display;
}

SingleInstance::SingleInstance(const std::string& name) : mName(SessionName(name)) {
  const char* over = std::getenv("CORVA_INSTANCE_NAME");
  if (over && *over) mName = over;
}

SingleInstance::~SingleInstance() {
  if (mListenFd >= 0) ::close(mListenFd);
}

SingleInstance::Result SingleInstance::Acquire() {
  sockaddr_un addr;
  const socklen_t len = makeAddress(mName, addr);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return Result::kFailed;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), len) == 0) {
    if (::listen(fd, 8) == 0) {
      mListenFd = fd;
      return Result::kFirst;
    }
    ::close(fd);
    return Result::kFailed;
  }
  ::close(fd);
  if (errno != EADDRINUSE) return Result::kFailed;

  // Someone holds the name: ask them to present their window. A holder that does not
  // accept within a second still counts as running. Any local user can take an abstract
  // name, so a holder that runs as another user is not this user's program.
  const int c = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (c < 0) return Result::kOtherAsked;
  if (::connect(c, reinterpret_cast<const sockaddr*>(&addr), len) == 0) {
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(c, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid != ::geteuid()) {
      ::close(c);
      return Result::kFailed;
    }
    (void)!::send(c, kPresentRequest, sizeof kPresentRequest - 1, MSG_NOSIGNAL);
  }
  ::close(c);
  return Result::kOtherAsked;
}

int SingleInstance::TakeRequests() {
  if (mListenFd < 0) return 0;
  int asked = 0;
  for (;;) {
    const int c = ::accept4(mListenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) break;
    // The request is a few bytes sent right after connecting; wait briefly for them so a
    // slow sender is not missed, but never block the caller for long.
    char buf[16] = {};
    pollfd p{c, POLLIN, 0};
    if (::poll(&p, 1, 200) > 0 && ::recv(c, buf, sizeof buf - 1, MSG_DONTWAIT) > 0 &&
        std::strncmp(buf, kPresentRequest, sizeof kPresentRequest - 1) == 0)
      ++asked;
    ::close(c);
  }
  return asked;
}

}  // namespace platform
