#pragma once
// For tests only: lets httpsGet trust a test certificate authority and reach a named
// host at a local address. Defined only in the library corva_https_test_route, which
// test programs link in place of corva_https; a product that called it would not link.

#include <string>

namespace corva {

struct HttpsTestRoute {
  std::string caFile;     // PEM file of the only authorities trusted; empty: the system's
  std::string connectTo;  // "host:port:address:port" as curl's connect-to list entry; may be empty
};

// Applies to every later httpsGet in the process.
void setHttpsTestRoute(const HttpsTestRoute& route);

}  // namespace corva
