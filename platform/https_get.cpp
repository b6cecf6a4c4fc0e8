// httpsGet over libcurl's easy interface, one blocking transfer per call.

#include "platform/https_get.h"

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <mutex>

#ifdef CORVA_HTTPS_TEST_ROUTE
#include "platform/https_test_route.h"
#endif

namespace corva {

namespace {

using Clock = std::chrono::steady_clock;

struct EasyDeleter {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct UrlDeleter {
  void operator()(CURLU* h) const { curl_url_cleanup(h); }
};

// What the write callback works on.
struct Transfer {
  CURL* request = nullptr;
  Clock::time_point start;
  std::string received;
};

long elapsedMs(Clock::time_point start) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// Gives the request what is left of its budget as its overall time limit; false when
// nothing is left and the request must be abandoned. Resolution, connection and the TLS
// handshake keep their own shorter limit.
bool armDeadline(Clock::time_point start, CURL* request) {
  const long remaining = kHttpsBudgetMs - elapsedMs(start);
  if (remaining <= 0) return false;
  curl_easy_setopt(request, CURLOPT_TIMEOUT_MS, remaining);
  return true;
}

// Receives at most kHttpsReadChunk bytes per call. Returning less than was offered makes
// curl abandon the transfer.
std::size_t onBodyChunk(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const std::size_t n = size * count;
  long status = 0;
  curl_easy_getinfo(transfer->request, CURLINFO_RESPONSE_CODE, &status);
  if (status != 200) return 0;  // no use reading a body that will be refused
  if (kHttpsBudgetMs - elapsedMs(transfer->start) <= 0) return 0;
  if (n > kHttpsMaxBody - transfer->received.size()) return 0;
  transfer->received.append(data, n);
  return n;
}

bool isHttpsUrl(const char* url) {
  std::unique_ptr<CURLU, UrlDeleter> parts(curl_url());
  if (!parts || curl_url_set(parts.get(), CURLUPART_URL, url, 0) != CURLUE_OK) return false;
  char* scheme = nullptr;
  if (curl_url_get(parts.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) return false;
  const bool https = std::string(scheme) == "https";  // curl gives the scheme in lower case
  curl_free(scheme);
  return https;
}

#ifdef CORVA_HTTPS_TEST_ROUTE
struct ListDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
std::mutex routeMutex;
HttpsTestRoute testRoute;
#endif

}  // namespace

#ifdef CORVA_HTTPS_TEST_ROUTE
void setHttpsTestRoute(const HttpsTestRoute& route) {
  std::lock_guard<std::mutex> lock(routeMutex);
  testRoute = route;
}
#endif

bool httpsGet(const char* url, const char* userAgent, std::string& body) {
  const Clock::time_point start = Clock::now();
  if (!url || !userAgent) return false;

  static std::once_flag curlReady;
  static bool curlUsable = false;
  std::call_once(curlReady, [] { curlUsable = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
  if (!curlUsable) return false;

  // A malformed address or any scheme but https ends here, before any connection.
  if (!isHttpsUrl(url)) return false;

  std::unique_ptr<CURL, EasyDeleter> request(curl_easy_init());
  if (!request) return false;
  CURL* r = request.get();
  Transfer transfer{r, start, {}};

  curl_easy_setopt(r, CURLOPT_URL, url);
  curl_easy_setopt(r, CURLOPT_USERAGENT, userAgent);
  curl_easy_setopt(r, CURLOPT_HTTPGET, 1L);
  // https only, on the first request and after every redirect.
  curl_easy_setopt(r, CURLOPT_PROTOCOLS_STR, "https");
  curl_easy_setopt(r, CURLOPT_REDIR_PROTOCOLS_STR, "https");
  curl_easy_setopt(r, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(r, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(r, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(r, CURLOPT_SSL_VERIFYHOST, 2L);
  // The cookie engine stays off: no cookie file or jar is ever named.
  curl_easy_setopt(r, CURLOPT_CONNECTTIMEOUT_MS, kHttpsStepMs);
  curl_easy_setopt(r, CURLOPT_NOSIGNAL, 1L);  // time limits without signals: safe off the main thread
  curl_easy_setopt(r, CURLOPT_BUFFERSIZE, static_cast<long>(kHttpsReadChunk));
  curl_easy_setopt(r, CURLOPT_WRITEFUNCTION, onBodyChunk);
  curl_easy_setopt(r, CURLOPT_WRITEDATA, &transfer);

#ifdef CORVA_HTTPS_TEST_ROUTE
  std::unique_ptr<curl_slist, ListDeleter> connectTo;
  std::string caFile;
  {
    std::lock_guard<std::mutex> lock(routeMutex);
    caFile = testRoute.caFile;
    if (!testRoute.connectTo.empty()) connectTo.reset(curl_slist_append(nullptr, testRoute.connectTo.c_str()));
  }
  if (!caFile.empty()) {
    curl_easy_setopt(r, CURLOPT_CAINFO, caFile.c_str());
    curl_easy_setopt(r, CURLOPT_CAPATH, nullptr);
  }
  if (connectTo) curl_easy_setopt(r, CURLOPT_CONNECT_TO, connectTo.get());
#endif

  if (!armDeadline(start, r)) return false;
  if (curl_easy_perform(r) != CURLE_OK) return false;

  long status = 0;
  curl_easy_getinfo(r, CURLINFO_RESPONSE_CODE, &status);
  if (status != 200) return false;
  body = std::move(transfer.received);
  return true;
}

}  // namespace corva
