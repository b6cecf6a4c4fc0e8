#pragma once
// The JACK server as the audio and MIDI layers see it: whether one runs, and whether the
// JACK library's own messages (several lines for each client that finds no server) reach
// standard error.

namespace platform {

// True when the default JACK server takes a client (one is opened and closed again).
bool JackServerRunning();
// While set, the JACK library prints nothing; clearing it restores its own printing.
// Calls pair up and may nest.
void QuietJackMessages(bool quiet);

}  // namespace platform
