#pragma once
// Opening a web address in the user's browser with xdg-open, started directly (never
// through a shell), so no character of the address is ever interpreted.

namespace iplug {

// True when xdg-open was started for `url` and did not report a failure. Refuses an
// empty address, one that xdg-open would read as an option (a leading '-') and one
// with control characters.
[[nodiscard]] bool OpenUrlInBrowser(const char* url);

}  // namespace iplug
