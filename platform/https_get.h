#pragma once
// One HTTPS GET with fixed limits, for small documents such as the news feed.

#include <cstddef>
#include <string>

namespace corva {

// Limits of every httpsGet.
inline constexpr long kHttpsStepMs = 2500;    // name resolution, connection and TLS handshake
inline constexpr long kHttpsBudgetMs = 5000;  // the whole request, counted from its start
inline constexpr std::size_t kHttpsMaxBody = 65000;
inline constexpr std::size_t kHttpsReadChunk = 4096;

// Fetches url (UTF-8) with the given user agent. True when the server answered with
// status 200 and the whole body, at most kHttpsMaxBody bytes, arrived; body then holds
// exactly that body. False on any failure, with body left as it was.
//
// Only https is spoken, also after redirects; the server's certificate must chain to the
// system's trusted authorities and name the host. No cookies are sent or kept. The
// system's proxy settings (the usual proxy environment variables) apply.
[[nodiscard]] bool httpsGet(const char* url, const char* userAgent, std::string& body);

}  // namespace corva
