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
  startWorkerThread(BackgroundWorker::instance(), fetchNewsFeed);
}

void CorvaPlug::refreshNewsAfterJobs() {
  if (BackgroundWorker::instance().finishedJobs.load() != seenJobCount) refreshNotices();
}

void CorvaPlug::dismissNotice(const char* id) {
  if (!id) return;
  const std::string wanted(id);
  // A failed write still hides the notice until the next rebuild.
  corva::dismissNotice(wanted, dataFolder());
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
      copyCut(out.text, sizeof out.text, segment.text);
      // An address too long to keep whole is not offered as a link.
      if (segment.isLink && segment.url.size() >= sizeof out.url) out.isLink = 0;
      else copyCut(out.url, sizeof out.url, segment.url);
    }
  }
  uiModel.newsView = view;
  uiModel.effectsPanel.newsShown = view.pageCount >= 1;
  redraw();
}
