// The plug-in's notice list: rebuilt from the feed cache when the editor opens and after
// each finished background job, shortened when the user dismisses a notice, and copied
// into the interface model after every change.

#include <cstring>
#include <ctime>
#include <string>

#include "model/data_folder.h"
#include "news/news_feed.h"
#include "news/news_signature.h"
#include "plugin/background_worker.h"
#include "plugin/corva_plug.h"
#include "plugin/news_cache.h"
#include "plugin/news_dismissed.h"
#include "plugin/news_fetch.h"
#include "plugin/plug_config.h"

using namespace corva;

namespace {

// Copies src into dst of size capacity with a terminating zero, cut so that no UTF-8
// character is split.
void copyCut(char* dst, std::size_t capacity, const std::string& src) {
  std::size_t n = src.size();
  if (n > capacity - 1) {
    n = capacity - 1;
    while (n > 0 && (static_cast<unsigned char>(src[n]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(dst, src.data(), n);
  dst[n] = '\0';
}

// The length of the UTF-8 character that starts at p (with `left` bytes from p on), and
// whether it is well formed: no stray continuation byte, overlong form, surrogate or
// code point above U+10FFFF. A malformed start has the length of its longest valid
// beginning, at least one byte.
std::size_t utf8Character(const unsigned char* p, std::size_t left, bool& wellFormed) {
  const unsigned lead = p[0];
  wellFormed = false;
  if (lead < 0x80) {
    wellFormed = true;
    return 1;
  }
  std::size_t follow = 0;
  unsigned low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    follow = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    follow = 2;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    follow = 3;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 1;
  }
  for (std::size_t k = 1; k <= follow; ++k) {
    if (k >= left || p[k] < (k == 1 ? low : 0x80u) || p[k] > (k == 1 ? high : 0xBFu)) return k;
  }
  wellFormed = true;
  return follow + 1;
}

// The text with each malformed UTF-8 sequence replaced by U+FFFD. The feed passes its
// bytes on unchanged, and the text renderer would drop everything after a bad byte.
std::string wellFormedUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t i = 0; i < text.size();) {
    bool wellFormed = false;
    const std::size_t n = utf8Character(p + i, text.size() - i, wellFormed);
    if (wellFormed) out.append(text, i, n);
    else out += "\xEF\xBF\xBD";
    i += n;
  }
  return out;
}

NoticeContext noticeContext(std::time_t now) {
  NoticeContext context;
  // The plug-in's version, packed as major << 16 | minor << 8 | patch.
  context.current = {kVendorVersion >> 16, (kVendorVersion >> 8) & 0xFF, kVendorVersion & 0xFF};
  context.platform = kNewsPlatformLinux;
  std::tm local{};
  localtime_r(&now, &local);
  context.today = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
  return context;
}

}  // namespace

bool CorvaPlug::refreshNotices() {
  // Read first, so that a job that ends during the rebuild brings another one.
  seenJobCount = BackgroundWorker::instance().finishedJobs.load();
  notices.clear();
  const std::string folder = dataFolder();
  const NewsCache cache = readNewsCache(folder);
  bool fresh = false;
  std::string body;
  // A verified cache gives notices whatever its age; the age decides only whether a
  // new fetch is wanted.
  if (cache.valid && verifyNewsFeed(cache.text, body)) {
    const std::time_t now = std::time(nullptr);
    fresh = isNewsCacheFresh(cache, static_cast<std::int64_t>(now));
    notices = buildNotices(parseNewsFeed(body, nullptr), noticeContext(now), loadDismissed(folder));
  }
  publishNotice();
  return fresh;
}

void CorvaPlug::refreshNewsOnOpen() {
  if (refreshNotices()) return;
  // A busy worker drops the request; the next opening of the editor tries again.
  (void)startWorkerThread(BackgroundWorker::instance(), fetchNewsFeed);
}

void CorvaPlug::refreshNewsAfterJobs() {
  if (BackgroundWorker::instance().finishedJobs.load() != seenJobCount) refreshNotices();
}

void CorvaPlug::dismissNotice(const char* id) {
  if (!id) return;
  const std::string wanted(id);
  // A failed write still hides the notice until the next rebuild.
  (void)corva::dismissNotice(wanted, dataFolder());
  for (auto it = notices.begin(); it != notices.end(); ++it) {
    if (it->id == wanted) {
      notices.erase(it);
      break;
    }
  }
  publishNotice();
}

void CorvaPlug::publishNotice() {
  NewsView view;
  if (!notices.empty()) {
    const NewsNotice& notice = notices.front();
    view.page = 0;
    view.pageCount = static_cast<std::int32_t>(notices.size());
    view.alert = notice.alert;
    copyCut(view.id, sizeof view.id, notice.id);
    for (const NewsSegment& segment : notice.segments) {
      if (view.segmentCount == 8) break;
      NewsViewSegment& out = view.segments[view.segmentCount++];
      out.isLink = segment.isLink;
      copyCut(out.text, sizeof out.text, wellFormedUtf8(segment.text));
      // An address too long to keep whole is not offered as a link.
      const std::string url = wellFormedUtf8(segment.url);
      if (segment.isLink && url.size() >= sizeof out.url) out.isLink = 0;
      else copyCut(out.url, sizeof out.url, url);
    }
  }
  uiModel.newsView = view;
  uiModel.effectsPanel.newsShown = view.pageCount >= 1;
  redraw();
}
