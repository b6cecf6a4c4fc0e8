// The news panel end to end: a build of the module that trusts the test feed keys, its
// editor open in a window of the in-process host under Xvfb, and a local HTTPS server in
// place of the maker's. What the window shows is compared with the interface drawn
// offscreen holding the expected notice.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "plugin/news_cache.h"
#include "plugin/news_dismissed.h"
#include "tests/news/signing.h"
#include "tests/plugin/editor_fixture.h"
#include "tests/support/data_home.h"
#include "tests/support/local_https_server.h"
#include "tests/support/temp_folder.h"
#include "ui/ui_model.h"

namespace {

using namespace corvatest;
using namespace std::chrono_literals;

const corva::test::ScopedDataHome dataHome;

Module& NewsModule() {
  static Module* m = new Module(CORVA_NEWS_TEST_MODULE);
  return *m;
}

std::string Feed(const std::string& sections) { return corva::test::signFeed(sections, corva::test::testKeyPair(1)); }
std::string Message(const std::string& id, const std::string& text) {
  return "[message " + id + "]\ntext = " + text + "\n";
}

// The editor as it should look with `text` as the first of `pages` notices, and where
// the news strip and its close box are.
struct Expected {
  Image picture;
  int strip[4] = {};
  int close[2] = {};
};

Expected ShowingNotice(const std::string& id, const std::string& text, int pages) {
  Expected e;
  e.picture = OffscreenPicture(
      648, 431,
      [&](corva::UiModel& ui) {
        corva::NewsView& v = ui.newsView;
        std::snprintf(v.id, sizeof v.id, "%s", id.c_str());
        std::snprintf(v.segments[0].text, sizeof v.segments[0].text, "%s", text.c_str());
        v.segmentCount = 1;
        v.pageCount = pages;
        ui.effectsPanel.newsShown = true;
      },
      [&](corva::UiModel& ui) {
        const float* r = ui.newsRects[corva::kNewsPanelRect];
        for (int i = 0; i < 4; ++i) e.strip[i] = int(r[i]);
        const float* c = ui.newsRects[corva::kNewsCloseRect];
        e.close[0] = int(c[0] + c[2] / 2);
        e.close[1] = int(c[1] + c[3] / 2);
      });
  return e;
}

// True once the window shows the expected picture: the news strip exactly as drawn
// offscreen (two notices that differ in one word differ in 1.5 % of its pixels), the
// rest within the small differences of a window's drawing.
bool Shows(OpenEditor& ed, const Expected& e, const std::string& pictureName) {
  Image shown;
  bool same = false;
  const auto deadline = std::chrono::steady_clock::now() + 15s;
  do {
    shown = ed.settled();
    same = DifferingShare(shown, e.picture, 24, e.strip) < 0.002 && DifferingShare(shown, e.picture, 24) < 0.01;
  } while (!same && std::chrono::steady_clock::now() < deadline);
  Save(shown, pictureName);
  return same;
}

class NewsEditor : public ::testing::Test {
 protected:
  NewsEditor() : server(CORVA_HTTPS_SERVER_SCRIPT) {}

  void SetUp() override {
    ASSERT_TRUE(NewsModule().ok()) << NewsModule().error();
    routeTo(NewsModule(), "good");
    std::filesystem::remove_all(folder());
    std::filesystem::create_directories(folder());
  }

  // The feed address names the maker's server; the route sends it to a local one.
  void routeTo(Module& module, const std::string& which) {
    auto route = reinterpret_cast<void (*)(const char*, const char*)>(module.symbol("CorvaTestHttpsRoute"));
    ASSERT_NE(route, nullptr);
    route(server.caFile().c_str(), ("www.tembrix.audio:443:127.0.0.1:" + std::to_string(server.port(which))).c_str());
  }
  static std::string folder() { return dataHome.folder(); }
  void serve(const std::string& feed) { std::ofstream(server.filesFolder() + "/news.txt") << feed; }
  // The server holds its answer to the feed request while this file exists (4.5 s at most).
  std::string holdFile() const { return server.filesFolder() + "/hold"; }
  std::string requests() const { return corva::test::readBytes(server.requestLog()); }
  static std::int64_t now() { return static_cast<std::int64_t>(std::time(nullptr)); }

  corva::test::LocalHttpsServer server;
  HostLoop loop;
};

TEST_F(NewsEditor, FreshCacheIsShownWithoutFetching) {
  // Punctuation, symbols and quotes of every kind that a notice may hold.
  const std::string text =
      "Questions? Mail help@tembrix.audio & see \"FAQ\" #5 \xE2\x80\x94 50 % off "
      "\xC2\xAB promo \xC2\xBB \xE2\x80\x99";
  ASSERT_TRUE(corva::writeNewsCache(Feed(Message("fresh", text)), now() - 60, folder()));
  serve(Feed(Message("other", "Never fetched")));
  OpenEditor ed(NewsModule(), loop);
  ASSERT_TRUE(ed.attached);
  EXPECT_TRUE(Shows(ed, ShowingNotice("fresh", text, 1), "news-fresh-cache"));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(requests(), "") << "a fresh cache starts no fetch";
}

TEST_F(NewsEditor, StaleCacheIsShownAtOnceAndReplacedWhenTheFetchEnds) {
  const std::string old = Feed(Message("old", "Old"));
  ASSERT_TRUE(corva::writeNewsCache(old, now() - 3600, folder()));
  const std::string fetched = Feed(Message("new", "A new version is out: see the site for all that changed"));
  serve(fetched);
  std::ofstream(holdFile()) << "";
  OpenEditor ed(NewsModule(), loop);
  ASSERT_TRUE(ed.attached);
  // The server holds the answer: the window shows the stale cache meanwhile.
  EXPECT_TRUE(Shows(ed, ShowingNotice("old", "Old", 1), "news-stale-cache"));
  EXPECT_NE(requests().find("/corva/news.txt QVT-Corva/0.5.9 (linux)"), std::string::npos);
  std::filesystem::remove(holdFile());
  EXPECT_TRUE(Shows(ed, ShowingNotice("new", "A new version is out: see the site for all that changed", 1),
                    "news-after-fetch"));
  const std::string cache = corva::test::readBytes(corva::newsCachePath(folder()));
  EXPECT_EQ(cache.substr(cache.find('\n') + 1), fetched);
}

TEST_F(NewsEditor, DismissedNoticeStaysDismissedOnReopeningAndInASecondInstance) {
  ASSERT_TRUE(corva::writeNewsCache(Feed(Message("first", "First of two") + Message("second", "Second of two")), now(),
                                    folder()));
  const Expected first = ShowingNotice("first", "First of two", 2);
  const Expected second = ShowingNotice("second", "Second of two", 1);
  OpenEditor ed(NewsModule(), loop);
  ASSERT_TRUE(ed.attached);
  ASSERT_TRUE(Shows(ed, first, "news-two-notices"));
  int ox = 0, oy = 0;
  ed.window->origin(ox, oy);
  ASSERT_TRUE(XdoTool("mousemove " + At(ox + first.close[0], oy + first.close[1]) + " click 1"));
  EXPECT_TRUE(Shows(ed, second, "news-after-dismissing"));
  EXPECT_EQ(corva::loadDismissed(folder()), std::vector<std::string>{"first"});

  // The same instance's editor opened again, and a second instance beside it.
  ASSERT_TRUE(ed.reopen());
  EXPECT_TRUE(Shows(ed, second, "news-reopened"));
  OpenEditor other(NewsModule(), loop, 660, 0);
  ASSERT_TRUE(other.attached);
  EXPECT_TRUE(Shows(other, second, "news-second-instance"));
  EXPECT_EQ(requests(), "");
}

// The host closes the editor and unloads the module while the fetch it started waits on
// a server that never answers. The fetch runs to its end in code that is still mapped.
TEST_F(NewsEditor, ModuleUnloadedByTheHostWhileAFetchWaits) {
  // A copy of its own, so that this load is the only one of that file in the process.
  const std::string copy = server.work + "/Corva.so";
  std::filesystem::copy_file(CORVA_NEWS_TEST_MODULE, copy);
  auto module = std::make_unique<Module>(copy);
  ASSERT_TRUE(module->ok()) << module->error();
  routeTo(*module, "silent");
  {
    OpenEditor ed(*module, loop);
    ASSERT_TRUE(ed.attached);
    ed.settled();
  }
  module.reset();  // ModuleExit and dlclose
  const auto mapped = [&] { return corva::test::readBytes("/proc/self/maps").find(copy) != std::string::npos; };
  EXPECT_TRUE(mapped()) << "the running fetch keeps its module mapped";
  // The handshake never comes: the fetch gives up after 2.5 s and its thread leaves.
  std::this_thread::sleep_for(3500ms);
  EXPECT_EQ(requests(), "");
}

}  // namespace
