#include "platform/jack_server.h"

#include <jack/jack.h>

#include <atomic>
#include <cstdlib>

namespace platform {

namespace {
void silent(const char*) {}
std::atomic<int> gQuiet{0};
}  // namespace

std::string JackDefaultServerName() {
  const char* name = std::getenv("JACK_DEFAULT_SERVER");
  return name && *name ? name : "default";
}

bool JackServerRunning(const std::string& server) {
  QuietJackMessages(true);
  const std::string name = server.empty() ? JackDefaultServerName() : server;
  jack_client_t* probe = jack_client_open("corvaprobe", jack_options_t(JackNoStartServer | JackServerName), nullptr,
                                          name.c_str());
  QuietJackMessages(false);
  if (!probe) return false;
  jack_client_close(probe);
  return true;
}

void QuietJackMessages(bool quiet) {
  // Quiet spans may nest; the library takes a null function as its own printing.
  const int depth = quiet ? ++gQuiet : --gQuiet;
  if (quiet && depth == 1) {
    jack_set_error_function(&silent);
    jack_set_info_function(&silent);
  } else if (!quiet && depth == 0) {
    jack_set_error_function(nullptr);
    jack_set_info_function(nullptr);
  }
}

}  // namespace platform
