#pragma once
// The JACK server as the audio and MIDI layers see it: whether one runs, and whether the
// JACK library's own messages (several lines for each client that finds no server) reach
// standard error.

#include <string>

namespace platform {

// The name of the server a JACK client opened now would reach (JACK_DEFAULT_SERVER, or
// the library's "default").
std::string JackDefaultServerName();
// True when the JACK server of that name (the default one when empty) takes a client
// (one is opened and closed again).
bool JackServerRunning(const std::string& server = "");
// While set, the JACK library prints nothing; clearing it restores its own printing.
// Calls pair up and may nest.
void QuietJackMessages(bool quiet);

}  // namespace platform
