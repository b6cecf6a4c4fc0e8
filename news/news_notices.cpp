// Notice selection: the update notice first, then alerts, then information
// messages, each in feed order.

#include "news/news_notices.h"

#include <algorithm>

namespace corva {

namespace {

constexpr std::string_view kUpdatePrefix = "update-";

bool platformMatches(const NewsMessage& message, std::int32_t platform) {
  if (platform == kNewsPlatformMac) return message.onMac != 0;
  if (platform == kNewsPlatformWin) return message.onWin != 0;
  // A platform the feed cannot name gets only the messages meant for every platform.
  return message.onMac != 0 && message.onWin != 0;
}

bool versionMatches(VersionOp op, std::strong_ordering c) {
  switch (op) {
    case kLess:
      return c < 0;
    case kLessEqual:
      return c <= 0;
    case kEqual:
      return c == 0;
    case kGreaterEqual:
      return c >= 0;
    case kGreater:
      return c > 0;
  }
  return false;
}

void appendMessages(std::vector<NewsNotice>& notices, const NewsFeed& feed, const NoticeContext& context,
                    const std::vector<std::string>& dismissed, bool alerts) {
  for (const NewsMessage& message : feed.messages) {
    if ((message.alert != 0) != alerts) continue;
    if (!messageMatches(message, context) || isDismissed(dismissed, message.id)) continue;
    notices.push_back(NewsNotice{message.id, message.alert, 0, message.segments});
  }
}

}  // namespace

std::string updateNoticeId(const NewsVersion& v) {
  return std::string(kUpdatePrefix) + std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
         std::to_string(v.patch);
}

bool isDismissed(const std::vector<std::string>& dismissed, const std::string& id) {
  return std::find(dismissed.begin(), dismissed.end(), id) != dismissed.end();
}

bool messageMatches(const NewsMessage& message, const NoticeContext& context) {
  if (!platformMatches(message, context.platform)) return false;
  if (message.audienceSecond == 0) return false;
  if (message.hasFrom && context.today < message.from) return false;
  if (message.hasUntil && context.today > message.until) return false;
  if (message.hasVersionCond && !versionMatches(message.versionOp, context.current <=> message.version)) {
    return false;
  }
  return true;
}

std::vector<NewsNotice> buildNotices(const NewsFeed& feed, const NoticeContext& context,
                                     const std::vector<std::string>& dismissed) {
  std::vector<NewsNotice> notices;
  if (feed.hasLatest && feed.latest > context.current) {
    std::string id = updateNoticeId(feed.latest);
    if (!isDismissed(dismissed, id)) {
      const std::string text = "Version " + id.substr(kUpdatePrefix.size()) + " is available: ";
      notices.push_back(
          NewsNotice{std::move(id), 0, 1, {NewsSegment{0, text, {}}, NewsSegment{1, "download", feed.latestUrl}}});
    }
  }
  appendMessages(notices, feed, context, dismissed, true);
  appendMessages(notices, feed, context, dismissed, false);
  return notices;
}

}  // namespace corva
