// Exported by the test build of the module only: sends the module's news fetches to a
// local HTTPS server that a test certificate authority vouches for.

#include "platform/https_test_route.h"

extern "C" __attribute__((visibility("default"))) void CorvaTestHttpsRoute(const char* caFile, const char* connectTo) {
  corva::setHttpsTestRoute({caFile ? caFile : "", connectTo ? connectTo : ""});
}
