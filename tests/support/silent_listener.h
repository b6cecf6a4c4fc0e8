#pragma once
// A TCP listener on the loopback address that accepts connections into its backlog and
// never answers, for as long as the object lives.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace corva::test {

class SilentListener {
 public:
  SilentListener() {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ok = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 && ::listen(fd, 4) == 0 &&
         ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    port = ntohs(address.sin_port);
  }
  ~SilentListener() {
    if (fd >= 0) ::close(fd);
  }
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;

  // "127.0.0.1:<port>"
  std::string address() const { return "127.0.0.1:" + std::to_string(port); }

  int fd = -1;
  bool ok = false;
  unsigned port = 0;
};

}  // namespace corva::test
