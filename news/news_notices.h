#pragma once
// Notice selection: turns a parsed feed into the ordered list of notices to show
// for the running version, platform and date, less the ones the user dismissed.

#include <cstdint>
#include <string>
#include <vector>

#include "news/news_feed.h"

namespace corva {

// One notice chosen for display.
struct NewsNotice {
  std::string id;  // a message id, or "update-<version>" for the update notice
  std::uint8_t alert = 0;
  std::uint8_t isUpdate = 0;
  std::vector<NewsSegment> segments;

  friend bool operator==(const NewsNotice&, const NewsNotice&) = default;
};

// Platform codes of NoticeContext::platform. The feed can restrict a message to
// "mac" or "win"; any other platform is offered only the messages restricted to
// neither.
constexpr std::int32_t kNewsPlatformMac = 0;
constexpr std::int32_t kNewsPlatformWin = 1;
constexpr std::int32_t kNewsPlatformLinux = 2;

// What the selection is made for.
struct NoticeContext {
  NewsVersion current;                         // the running program's version
  std::int32_t platform = kNewsPlatformLinux;  // the running platform's code
  NewsDate today;                              // the local calendar date
};

std::vector<NewsNotice> buildNotices(const NewsFeed& feed, const NoticeContext& context,
                                     const std::vector<std::string>& dismissed);
bool messageMatches(const NewsMessage& message, const NoticeContext& context);
// True when an entry equals id byte for byte (case matters, no trimming).
bool isDismissed(const std::vector<std::string>& dismissed, const std::string& id);
// "update-" + major.minor.patch in decimal, always three parts.
std::string updateNoticeId(const NewsVersion& v);

}  // namespace corva
