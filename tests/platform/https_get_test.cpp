// httpsGet against real local HTTPS servers whose certificates come from a test
// authority made at start-up.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "platform/https_get.h"
#include "platform/https_test_route.h"
#include "tests/platform/local_https_server.h"

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
    if (ms) *ms = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
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
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
  ASSERT_EQ(::listen(listener, 4), 0);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  const std::string port = std::to_string(ntohs(address.sin_port));

  std::string body;
  EXPECT_FALSE(get("http://127.0.0.1:" + port + "/bytes/5", body));
  EXPECT_FALSE(get("ftp://127.0.0.1:" + port + "/x", body));
  EXPECT_FALSE(get("not a url", body));
  pollfd pending{listener, POLLIN, 0};
  EXPECT_EQ(::poll(&pending, 1, 100), 0) << "a connection was made";
  ::close(listener);
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
