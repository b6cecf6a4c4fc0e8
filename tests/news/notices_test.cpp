#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "news/news_feed.h"
#include "news/news_notices.h"

namespace corva {
namespace {

const NewsVersion kRunning{0, 5, 9};

NoticeContext context(std::int32_t platform = kNewsPlatformLinux, NewsDate today = {2026, 12, 9}) {
  return NoticeContext{kRunning, platform, today};
}

std::vector<std::string> ids(const std::vector<NewsNotice>& notices) {
  std::vector<std::string> out;
  for (const NewsNotice& n : notices) out.push_back(n.id);
  return out;
}

NewsFeed feedOf(const std::string& body) { return parseNewsFeed(body, nullptr); }

bool selects(const std::string& keys, NoticeContext ctx = context()) {
  const NewsFeed feed = feedOf("[message m]\ntext = t\n" + keys);
  EXPECT_EQ(feed.messages.size(), 1u) << keys;
  return !feed.messages.empty() && messageMatches(feed.messages[0], ctx);
}

using Ids = std::vector<std::string>;

TEST(NewsNotices, UpdateNotice) {
  const NewsFeed newer = feedOf("latest = 0.5.10\nurl = https://x/dl\n");
  const std::vector<NewsNotice> notices = buildNotices(newer, context(), {});
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(
      notices[0],
      (NewsNotice{"update-0.5.10", 0, 1, {{0, "Version 0.5.10 is available: ", ""}, {1, "download", "https://x/dl"}}}));

  EXPECT_TRUE(buildNotices(feedOf("latest = 0.5.9\nurl = https://x/dl\n"), context(), {}).empty());
  EXPECT_TRUE(buildNotices(feedOf("latest = 0.5.8\nurl = https://x/dl\n"), context(), {}).empty());
  EXPECT_EQ(ids(buildNotices(feedOf("latest = 1.0\nurl = https://x/dl\n"), context(), {})), Ids{"update-1.0.0"});
  EXPECT_EQ(updateNoticeId(NewsVersion{10, 0, 7}), "update-10.0.7");
  EXPECT_EQ(updateNoticeId(feedOf("latest = 007.000.010\nurl = https://x\n").latest), "update-7.0.10");

  // Dismissing one announced version hides only that one.
  const Ids dismissed{"update-0.6.0"};
  EXPECT_TRUE(buildNotices(feedOf("latest = 0.6\nurl = https://x/dl\n"), context(), dismissed).empty());
  EXPECT_EQ(ids(buildNotices(feedOf("latest = 0.6.1\nurl = https://x/dl\n"), context(), dismissed)),
            Ids{"update-0.6.1"});
}

TEST(NewsNotices, OrderIsUpdateThenAlertsThenInformation) {
  const NewsFeed feed = feedOf(
      "latest = 0.7\nurl = https://x/dl\n"
      "[message info-1]\ntext = i1\n"
      "[message alert-1]\ntext = a1\nlevel = alerte\n"
      "[message info-2]\ntext = i2\nlevel = info\n"
      "[message alert-2]\ntext = a2 [go](https://x/a)\nlevel = alerte\n");
  const std::vector<NewsNotice> notices = buildNotices(feed, context(), {});
  EXPECT_EQ(ids(notices), (Ids{"update-0.7.0", "alert-1", "alert-2", "info-1", "info-2"}));
  EXPECT_EQ(notices[1].alert, 1);
  EXPECT_EQ(notices[1].isUpdate, 0);
  EXPECT_EQ(notices[2].segments, feed.messages[3].segments);
  EXPECT_EQ(notices[3].alert, 0);

  // Dismissed ids match byte for byte only.
  EXPECT_EQ(ids(buildNotices(feed, context(), {"alert-1", "INFO-1", "info-2 ", "update-0.7"})),
            (Ids{"update-0.7.0", "alert-2", "info-1", "info-2"}));
  EXPECT_TRUE(isDismissed({"a", "info-2"}, "info-2"));
  EXPECT_FALSE(isDismissed({}, ""));
}

TEST(NewsNotices, Platforms) {
  for (std::int32_t platform : {kNewsPlatformMac, kNewsPlatformWin, kNewsPlatformLinux}) {
    const NoticeContext ctx = context(platform);
    EXPECT_TRUE(selects("", ctx)) << platform;
    EXPECT_TRUE(selects("platforms = mac, win\n", ctx)) << platform;
    EXPECT_EQ(selects("platforms = mac\n", ctx), platform == kNewsPlatformMac) << platform;
    EXPECT_EQ(selects("platforms = win\n", ctx), platform == kNewsPlatformWin) << platform;
  }
}

TEST(NewsNotices, AudienceAndDates) {
  EXPECT_TRUE(selects("audience = tous\n"));
  EXPECT_TRUE(selects("audience = licencie\n"));
  EXPECT_FALSE(selects("audience = demo\n"));

  const std::string window = "from = 2026-12-09\nuntil = 2026-12-09\n";
  EXPECT_TRUE(selects(window, context(kNewsPlatformLinux, {2026, 12, 9})));
  EXPECT_FALSE(selects(window, context(kNewsPlatformLinux, {2026, 12, 10})));
  EXPECT_FALSE(selects(window, context(kNewsPlatformLinux, {2026, 12, 8})));
  EXPECT_TRUE(selects("from = 2026-01-31\n", context(kNewsPlatformLinux, {2026, 2, 1})));
  EXPECT_FALSE(selects("from = 2026-02-01\n", context(kNewsPlatformLinux, {2026, 1, 31})));
  EXPECT_TRUE(selects("until = 2026-02-01\n", context(kNewsPlatformLinux, {2025, 12, 31})));
  EXPECT_FALSE(selects("until = 2025-12-31\n", context(kNewsPlatformLinux, {2026, 1, 1})));
}

TEST(NewsNotices, VersionConditionsAtTheRunningVersion) {
  EXPECT_FALSE(selects("versions = < 0.5.9\n"));
  EXPECT_TRUE(selects("versions = < 0.5.10\n"));
  EXPECT_TRUE(selects("versions = <= 0.5.9\n"));
  EXPECT_FALSE(selects("versions = <= 0.5.8\n"));
  EXPECT_TRUE(selects("versions = = 0.5.9\n"));
  EXPECT_FALSE(selects("versions = = 0.5\n"));
  EXPECT_TRUE(selects("versions = > 0.5.8\n"));
  EXPECT_FALSE(selects("versions = > 0.5.9\n"));
  EXPECT_TRUE(selects("versions = >= 0.5.9\n"));
  EXPECT_FALSE(selects("versions = >= 0.6.0\n"));
  EXPECT_TRUE(selects("versions = <= 0.6.0\n"));
  EXPECT_FALSE(selects("versions = > 0.10\n"));  // numeric, not textual, order
}

}  // namespace
}  // namespace corva
