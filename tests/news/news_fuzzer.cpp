// Feeds arbitrary bytes to the feed parser, the signature check and the notice
// selection, and checks what must hold for every input.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "news/news_feed.h"
#include "news/news_notices.h"
#include "news/news_signature.h"
#include "tests/news/signing.h"

namespace {

using namespace corva;

void check(bool condition) {
  if (!condition) __builtin_trap();
}

bool validId(const std::string& id) {
  if (id.empty() || id.size() > 48) return false;
  for (char c : id) {
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) return false;
  }
  return true;
}

void checkFeed(std::string_view body) {
  std::vector<NewsDiagnostic> diagnostics;
  const NewsFeed feed = parseNewsFeed(body, &diagnostics);

  std::size_t lines = 0;
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (body[i] == '\n' || i + 1 == body.size()) ++lines;
  }
  for (const NewsDiagnostic& d : diagnostics) check(d.line >= 1 && d.line <= lines);
  check(!feed.hasLatest || isHttpsUrl(feed.latestUrl));

  std::unordered_set<std::string> ids;
  std::vector<std::string> dismissed;
  for (const NewsMessage& m : feed.messages) {
    check(validId(m.id) && ids.insert(m.id).second);
    check(!m.segments.empty());
    check(!(m.hasFrom && m.hasUntil && m.until < m.from));
    for (const NewsSegment& s : m.segments) check(s.isLink ? isHttpsUrl(s.url) : s.url.empty());
    if (m.id.size() % 2 == 0) dismissed.push_back(m.id);
  }
  // The same feed without diagnostics is the same feed.
  check(parseNewsFeed(body, nullptr).messages == feed.messages);

  for (std::int32_t platform : {kNewsPlatformMac, kNewsPlatformWin, kNewsPlatformLinux}) {
    const NoticeContext context{{0, 5, 9}, platform, {2026, 12, 9}};
    const std::vector<NewsNotice> notices = buildNotices(feed, context, dismissed);
    for (std::size_t i = 0; i < notices.size(); ++i) {
      check(!isDismissed(dismissed, notices[i].id));
      check(notices[i].isUpdate == (i == 0 && feed.hasLatest && feed.latest > context.current));
      if (i > 0) check(notices[i - 1].isUpdate || notices[i - 1].alert >= notices[i].alert);
    }
  }
}

void checkSignature(std::string_view input) {
  std::string body = "untouched";
  // No test key signs arbitrary input; outputs stay as they were on failure.
  if (!verifyNewsFeed(input, body)) check(body == "untouched");

  std::string signatureText;
  if (splitNewsSignature(input, body, signatureText)) {
    check(body.size() <= input.size());
    std::array<std::uint8_t, 64> signature;
    (void)decodeNewsSignature(signatureText, signature);  // run for its memory safety; either answer is valid
  }

  // Any body that ends with a line end, once signed, verifies and comes back unchanged.
  static const test::TestKeyPair keys = test::testKeyPair(1);
  std::string signedBody(input);
  if (!signedBody.empty() && signedBody.back() != '\n') signedBody += '\n';
  std::string out;
  check(verifyNewsFeed(test::signFeed(signedBody, keys), out) && out == signedBody);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  checkFeed(input);
  checkSignature(input);
  return 0;
}
