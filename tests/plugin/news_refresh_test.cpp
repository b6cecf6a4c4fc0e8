// The news service through the plug-in: the fetch job on the worker against a local
// HTTPS server standing in for the maker's, the feed cache, the idle rebuild and
// dismissals shared between instances.

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <string>
#include <thread>

#include "platform/https_test_route.h"
#include "plugin/background_worker.h"
#include "plugin/news_cache.h"
#include "plugin/news_dismissed.h"
#include "tests/news/signing.h"
#include "tests/plugin/plug_instance.h"
#include "tests/support/data_home.h"
#include "tests/support/local_https_server.h"
#include "tests/support/temp_folder.h"

namespace corva {
namespace {

using test::readBytes;
using test::writeBytes;

class NewsRefresh : public ::testing::Test {
 protected:
  NewsRefresh() : server(CORVA_HTTPS_SERVER_SCRIPT) {
    // The feed address names the maker's server; the test route sends it to the local one.
    setHttpsTestRoute({server.caFile(), "www.tembrix.audio:443:127.0.0.1:" + std::to_string(server.port("good"))});
  }

  void serve(const std::string& feed) { writeBytes(server.filesFolder() + "/news.txt", feed); }
  static std::string feedWith(const std::string& id, const std::string& text) {
    return test::signFeed("[message " + id + "]\ntext = " + text + "\n", test::testKeyPair(1));
  }
  // Opens the news as the editor does, lets the fetch finish and takes it up as the idle
  // tick does while the editor is open.
  void openAndFinish(CorvaPlug& plug) {
    plug.refreshNewsOnOpen();
    BackgroundWorker& worker = BackgroundWorker::instance();
    for (int i = 0; i < 1000 && worker.busy.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    plug.refreshNewsAfterJobs();
  }
  static std::string shownId(CorvaPlug& plug) { return plug.uiModel.newsView.id; }

  test::ScopedDataHome home;
  test::LocalHttpsServer server;
};

TEST_F(NewsRefresh, SignedFeedIsCachedAndShownThenServedFreshWithoutFetching) {
  serve(feedWith("hello", "First notice"));
  auto plug = test::makeIdlePlug();
  openAndFinish(*plug);
  ASSERT_EQ(plug->notices.size(), 1u);
  EXPECT_EQ(shownId(*plug), "hello");
  EXPECT_STREQ(plug->uiModel.newsView.segments[0].text, "First notice");
  EXPECT_TRUE(plug->uiModel.effectsPanel.newsShown);
  EXPECT_NE(readBytes(server.requestLog()).find("/corva/news.txt QVT-Corva/0.5.9 (linux)"), std::string::npos);
  const std::string cached = readBytes(newsCachePath(home.folder()));
  EXPECT_EQ(cached.substr(0, 10), "fetched = ");
  EXPECT_EQ(cached.substr(cached.find('\n') + 1), feedWith("hello", "First notice"));

  // Fresh now: a second instance shows it at once and starts no fetch.
  const std::uint32_t jobs = BackgroundWorker::instance().finishedJobs.load();
  auto second = test::makeIdlePlug();
  EXPECT_TRUE(second->refreshNotices());
  EXPECT_EQ(shownId(*second), "hello");
  second->refreshNewsOnOpen();
  EXPECT_FALSE(BackgroundWorker::instance().busy.load());
  EXPECT_EQ(BackgroundWorker::instance().finishedJobs.load(), jobs);
}

TEST_F(NewsRefresh, StaleCacheServesUntilAVerifiedFeedReplacesIt) {
  const std::string old = feedWith("old", "Old notice");
  ASSERT_TRUE(writeNewsCache(old, static_cast<std::int64_t>(std::time(nullptr)) - 3600, home.folder()));
  const std::string oldFile = readBytes(newsCachePath(home.folder()));

  // A feed whose body was changed after signing is not cached.
  std::string tampered = feedWith("new", "New notice");
  tampered.replace(tampered.find("New"), 3, "Bad");
  serve(tampered);
  auto plug = test::makeIdlePlug();
  EXPECT_FALSE(plug->refreshNotices());
  EXPECT_EQ(shownId(*plug), "old");
  openAndFinish(*plug);
  EXPECT_EQ(readBytes(newsCachePath(home.folder())), oldFile);
  EXPECT_EQ(shownId(*plug), "old");

  // Neither is an empty feed nor a failed download.
  serve("");
  openAndFinish(*plug);
  EXPECT_EQ(readBytes(newsCachePath(home.folder())), oldFile);
  ::unlink((server.filesFolder() + "/news.txt").c_str());
  openAndFinish(*plug);
  EXPECT_EQ(readBytes(newsCachePath(home.folder())), oldFile);
  EXPECT_EQ(shownId(*plug), "old");

  serve(feedWith("new", "New notice"));
  openAndFinish(*plug);
  EXPECT_EQ(shownId(*plug), "new");
  EXPECT_TRUE(plug->refreshNotices());
}

TEST_F(NewsRefresh, DismissedNoticeStaysDismissedInEveryInstance) {
  ASSERT_TRUE(writeNewsCache(test::signFeed("[message a]\ntext = A\n[message b]\ntext = B\n", test::testKeyPair(2)),
                             static_cast<std::int64_t>(std::time(nullptr)), home.folder()));
  auto plug = test::makeIdlePlug();
  ASSERT_TRUE(plug->refreshNotices());
  ASSERT_EQ(plug->uiModel.newsView.pageCount, 2);
  const std::string first = shownId(*plug);

  static_cast<Host&>(*plug).dismissNotice(first.c_str());
  EXPECT_EQ(plug->uiModel.newsView.pageCount, 1);
  EXPECT_NE(shownId(*plug), first);
  EXPECT_EQ(loadDismissed(home.folder()), std::vector<std::string>{first});

  auto second = test::makeIdlePlug();
  second->refreshNotices();
  EXPECT_EQ(second->uiModel.newsView.pageCount, 1);
  EXPECT_NE(shownId(*second), first);

  static_cast<Host&>(*second).dismissNotice(shownId(*second).c_str());
  EXPECT_EQ(second->uiModel.newsView.pageCount, 0);
  EXPECT_FALSE(second->uiModel.effectsPanel.newsShown);
  plug->refreshNotices();
  EXPECT_EQ(plug->uiModel.newsView.pageCount, 0);
}

}  // namespace
}  // namespace corva
