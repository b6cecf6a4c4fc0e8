// httpsGet against real local HTTPS servers whose certificates come from a test
// authority made at start-up.

#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "platform/https_get.h"
#include "platform/https_test_route.h"
#include "tests/support/local_https_server.h"
#include "tests/support/silent_listener.h"

namespace corva {
namespace {

using Clock = std::chrono::steady_clock;
constexpr char kAgent[] = "QVT-Corva/0.5.9 (linux)";

class HttpsGetTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server = std::make_unique<test::LocalHttpsServer>(CORVA_HTTPS_SERVER_SCRIPT);
    setHttpsTestRoute({server->caFile(), ""});
  }
  static void TearDownTestSuite() { server.reset(); }

  // Runs one GET into a body that starts as "before"; returns the result and the time taken.
  static bool get(const std::string& url, std::string& body, long* ms = nullptr) {
    body = "before";
    const auto start = Clock::now();
    const bool ok = httpsGet(url.c_str(), kAgent, body);
    if (ms)
      *ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    return ok;
  }

  static std::string requests() {
    std::ifstream in(server->requestLog());
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  static std::unique_ptr<test::LocalHttpsServer> server;
};
std::unique_ptr<test::LocalHttpsServer> HttpsGetTest::server;

TEST_F(HttpsGetTest, BodyUpToTheLimitWithStatus200Only) {
  std::string body;
  ASSERT_TRUE(get(server->url("good", "/bytes/65000"), body));
  EXPECT_EQ(body, std::string(65000, 'x'));
  EXPECT_TRUE(get(server->url("good", "/bytes/0"), body));
  EXPECT_EQ(body, "");

  // Every failure leaves the body as it was.
  EXPECT_FALSE(get(server->url("good", "/bytes/65001"), body));
  EXPECT_EQ(body, "before");
  EXPECT_FALSE(get(server->url("good", "/status/404"), body));
  EXPECT_FALSE(get(server->url("good", "/status/500"), body));
  EXPECT_FALSE(get(server->url("good", "/status/204"), body));
  EXPECT_EQ(body, "before");
  EXPECT_NE(requests().find("/bytes/0 QVT-Corva/0.5.9 (linux)"), std::string::npos);
}

TEST_F(HttpsGetTest, UntrustedCertificatesAreRefused) {
  std::string body;
  EXPECT_FALSE(get(server->url("wrong", "/bytes/5"), body));
  EXPECT_FALSE(get(server->url("self", "/bytes/5"), body));
  EXPECT_EQ(body, "before");
  // Without the test authority, the system's authorities do not know the good server.
  setHttpsTestRoute({"", ""});
  EXPECT_FALSE(get(server->url("good", "/bytes/5"), body));
  setHttpsTestRoute({server->caFile(), ""});
  EXPECT_TRUE(get(server->url("good", "/bytes/5"), body));
}

TEST_F(HttpsGetTest, RedirectsAreFollowedToHttpsOnly) {
  const std::string good = std::to_string(server->port("good"));
  const std::string plain = std::to_string(server->port("plain"));
  std::string body;
  EXPECT_TRUE(get(server->url("good", "/redirect?to=https://127.0.0.1:" + good + "/bytes/7"), body));
  EXPECT_EQ(body, "xxxxxxx");
  EXPECT_FALSE(get(server->url("good", "/redirect?to=http://127.0.0.1:" + plain + "/bytes/8"), body));
  EXPECT_EQ(requests().find("\n/bytes/8"), std::string::npos) << "the plain server was asked";
}

TEST_F(HttpsGetTest, PlainHttpIsRefusedBeforeConnecting) {
  test::SilentListener listener;
  ASSERT_TRUE(listener.ok);

  std::string body;
  EXPECT_FALSE(get("http://" + listener.address() + "/bytes/5", body));
  EXPECT_FALSE(get("ftp://" + listener.address() + "/x", body));
  EXPECT_FALSE(get("not a url", body));
  pollfd pending{listener.fd, POLLIN, 0};
  EXPECT_EQ(::poll(&pending, 1, 100), 0) << "a connection was made";
}

// A stalled body and a server that never answers the TLS handshake both end within the
// overall budget (with room for a loaded machine), never after it.
TEST_F(HttpsGetTest, SilentServersEndWithinTheBudget) {
  std::string body;
  long ms = 0;
  EXPECT_FALSE(get(server->url("good", "/stall"), body, &ms));
  EXPECT_GE(ms, kHttpsBudgetMs - 100);
  EXPECT_LT(ms, kHttpsBudgetMs + 1500);
  std::printf("stalled body: false after %ld ms\n", ms);

  EXPECT_FALSE(get(server->url("silent", "/bytes/5"), body, &ms));
  EXPECT_GE(ms, kHttpsStepMs - 100);
  EXPECT_LT(ms, kHttpsBudgetMs + 1500);
  std::printf("no TLS handshake: false after %ld ms\n", ms);
  EXPECT_EQ(body, "before");
}

}  // namespace
}  // namespace corva
