#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "news/news_feed.h"

namespace corva {
namespace {

struct Parsed {
  NewsFeed feed;
  std::vector<std::string> diagnostics;  // "line E|W text"
};

Parsed parse(std::string_view body) {
  std::vector<NewsDiagnostic> found;
  Parsed result{parseNewsFeed(body, &found), {}};
  for (const NewsDiagnostic& d : found) {
    result.diagnostics.push_back(std::to_string(d.line) + (d.isError ? " E " : " W ") + d.text);
  }
  return result;
}

using Lines = std::vector<std::string>;

TEST(NewsFeedParser, EmptyAndTopLevelOnlyFeeds) {
  Parsed empty = parse("");
  EXPECT_TRUE(empty.feed.messages.empty());
  EXPECT_EQ(empty.feed.hasLatest, 0);
  EXPECT_TRUE(empty.diagnostics.empty());

  Parsed top = parse("# comment\nurl = https://x/y\nsignature = abc\nfoo = 1\n");
  EXPECT_TRUE(top.feed.messages.empty());
  EXPECT_EQ(top.feed.latestUrl, "https://x/y");
  EXPECT_EQ(top.feed.hasLatest, 0);  // no "latest": no announcement and no diagnostic
  EXPECT_EQ(top.diagnostics, Lines{"4 W cle inconnue : foo"});
}

TEST(NewsFeedParser, FullMessageWithCrLfLineEnds) {
  Parsed p = parse(
      "latest = 1.2\r\n"
      "url = https://example.org/dl\r\n"
      "\r\n"
      "[message news-1]\r\n"
      "  text = see [here](https://x) now  \r\n"
      "level = alerte\r\n"
      "platforms = win , mac,win\r\n"
      "versions = >= 0.5\r\n"
      "audience = licencie\r\n"
      "from = 2024-02-29\r\n"
      "until = 2024-02-29\r\n");
  EXPECT_TRUE(p.diagnostics.empty());
  EXPECT_EQ(p.feed.hasLatest, 1);
  EXPECT_EQ(p.feed.latest, (NewsVersion{1, 2, 0}));
  ASSERT_EQ(p.feed.messages.size(), 1u);
  const NewsMessage& m = p.feed.messages[0];
  EXPECT_EQ(m.id, "news-1");
  EXPECT_EQ(m.alert, 1);
  EXPECT_EQ(m.segments, (std::vector<NewsSegment>{{0, "see ", ""}, {1, "here", "https://x"}, {0, " now", ""}}));
  EXPECT_EQ(m.onMac, 1);
  EXPECT_EQ(m.onWin, 1);
  EXPECT_EQ(m.hasVersionCond, 1);
  EXPECT_EQ(m.versionOp, kGreaterEqual);
  EXPECT_EQ(m.version, (NewsVersion{0, 5, 0}));
  EXPECT_EQ(m.audienceFirst, 0);
  EXPECT_EQ(m.audienceSecond, 1);
  EXPECT_EQ(m.from, (NewsDate{2024, 2, 29}));
  EXPECT_EQ(m.until, m.from);  // equal dates pass
}

TEST(NewsFeedParser, MessageDefaultsAndRepeatedKeys) {
  Parsed p = parse("[message a]\ntext = first\nlevel = alerte\ntext = second\nlevel = info\n");
  ASSERT_EQ(p.feed.messages.size(), 1u);
  NewsMessage expected;
  expected.id = "a";
  expected.segments = {{0, "second", ""}};
  EXPECT_EQ(p.feed.messages[0], expected);
}

TEST(NewsFeedParser, HeadersAndIds) {
  Parsed p = parse(
      "[message Info]\n"       // 1
      "text = x\n"             // 2
      "[ message  news-1 ]\n"  // 3
      "text = ok\n"            // 4
      "[message]\n"            // 5
      "[message news-1]\n"     // 6
      "text = again\n"         // 7
      "[info]\n"               // 8
      "text = y\n"             // 9
      "bogus = z\n"            // 10
      "[abc\n"                 // 11
      "[message b] # note\n"   // 12
      "[message " +
      std::string(49, 'x') +
      "]\n"  // 13
      "[message " +
      std::string(48, 'x') +
      "]\n"  // 14
      "text = long id\n");
  EXPECT_EQ(p.diagnostics, (Lines{
                               "1 E id invalide : Info",
                               "5 E bloc inconnu : [message]",
                               "6 E id en double : news-1",
                               "8 E bloc inconnu : [info]",
                               "11 E ligne sans = : [abc",
                               "12 E ligne sans = : [message b] # note",
                               "13 E id invalide : " + std::string(49, 'x'),
                           }));
  ASSERT_EQ(p.feed.messages.size(), 2u);
  EXPECT_EQ(p.feed.messages[0].id, "news-1");
  EXPECT_EQ(p.feed.messages[0].segments[0].text, "ok");
  EXPECT_EQ(p.feed.messages[1].id, std::string(48, 'x'));
}

TEST(NewsFeedParser, DuplicateIdIsRecordedEvenWhenItsBlockFails) {
  // The first "a" is dropped (no text), yet a later "a" is still a duplicate.
  Parsed p = parse("[message a]\n[message a]\ntext = x\n");
  EXPECT_EQ(p.diagnostics, (Lines{"1 E message a : text absent", "2 E id en double : a"}));
  EXPECT_TRUE(p.feed.messages.empty());
}

TEST(NewsFeedParser, BlockErrorsDropOnlyTheirBlock) {
  Parsed p = parse(
      "[message a]\n"         // 1
      "level = info\n"        // 2
      "[message b]\n"         // 3
      "text =\n"              // 4
      "[message c]\n"         // 5
      "text = c\n"            // 6
      "from = 2025-03-02\n"   // 7
      "until = 2025-03-01\n"  // 8
      "[message d]\n"         // 9
      "text = d\n"            // 10
      "level = loud\n"        // 11
      "unknown = 1\n"         // 12
      "level = bad\n"         // 13
      "no equals here\n"      // 14
      "[message e]\n"         // 15
      "signature = x\n"       // 16
      "text = kept\n"         // 17
      "[message f]\n"         // 18
      "text = f\n"            // 19
      "stray line\n");        // 20
  EXPECT_EQ(p.diagnostics, (Lines{
                               "1 E message a : text absent",
                               "4 E message b : valeur illisible pour text",
                               "5 E message c : until avant from",
                               "11 E message d : valeur illisible pour level",
                               "14 E ligne sans = : no equals here",
                               "16 W cle inconnue : signature",
                               "20 E ligne sans = : stray line",
                           }));
  ASSERT_EQ(p.feed.messages.size(), 1u);
  EXPECT_EQ(p.feed.messages[0].id, "e");
}

TEST(NewsFeedParser, LatestAnnouncement) {
  Parsed httpUrl = parse("latest = 0.6\nurl = http://x/download\n");
  EXPECT_EQ(httpUrl.feed.hasLatest, 0);
  EXPECT_EQ(httpUrl.feed.latest, (NewsVersion{0, 6, 0}));
  EXPECT_EQ(httpUrl.diagnostics, Lines{"1 E latest sans url https"});

  Parsed fourParts = parse("latest = 0.6.0.1\nurl = https://x/download\n");
  EXPECT_EQ(fourParts.feed.hasLatest, 0);
  EXPECT_EQ(fourParts.diagnostics, Lines{"1 E latest illisible : 0.6.0.1"});

  // The last "latest" and its line count; the latest diagnostics come after block ones.
  Parsed repeated = parse("latest = 1.0\nlatest = x\n[message a]\n");
  EXPECT_EQ(repeated.diagnostics, (Lines{"3 E message a : text absent", "2 E latest illisible : x"}));

  Parsed empty = parse("latest =\nurl = nothing\n");
  EXPECT_TRUE(empty.diagnostics.empty());
  EXPECT_EQ(empty.feed.latestUrl, "nothing");
}

TEST(NewsFeedParser, NullSinkDropsDiagnostics) {
  NewsFeed feed = parseNewsFeed("[info]\n[message a]\ntext = x\n", nullptr);
  ASSERT_EQ(feed.messages.size(), 1u);
}

TEST(NewsValues, Versions) {
  NewsVersion v{9, 9, 9};
  EXPECT_TRUE(parseVersion("000001.02", v));
  EXPECT_EQ(v, (NewsVersion{1, 2, 0}));
  EXPECT_TRUE(parseVersion("999999.0.999999", v));
  EXPECT_EQ(v, (NewsVersion{999999, 0, 999999}));
  for (const char* bad : {"", "1", "1.", ".1", "1..2", "1.2.3.4", "1234567.0", "+1.2", "-1.2", "1.2a", " 1.2", "1,2"}) {
    NewsVersion untouched{7, 7, 7};
    EXPECT_FALSE(parseVersion(bad, untouched)) << bad;
    EXPECT_EQ(untouched, (NewsVersion{7, 7, 7})) << bad;
  }
}

TEST(NewsValues, VersionConditions) {
  struct Case {
    const char* text;
    VersionOp op;
  };
  for (const Case& c : {Case{"<0.5.9", kLess}, Case{"<= 0.5.9", kLessEqual}, Case{"= 0.5.9", kEqual},
                        Case{">=\t0.5.9 ", kGreaterEqual}, Case{"> 0.5.9", kGreater}}) {
    VersionOp op = kEqual;
    NewsVersion v;
    ASSERT_TRUE(parseVersionCondition(c.text, op, v)) << c.text;
    EXPECT_EQ(op, c.op) << c.text;
    EXPECT_EQ(v, (NewsVersion{0, 5, 9})) << c.text;
  }
  for (const char* bad : {"0.5", "=> 0.5", "< ", "<", "== 0.5", "<< 0.5"}) {
    VersionOp op = kLess;
    NewsVersion v{1, 1, 1};
    EXPECT_FALSE(parseVersionCondition(bad, op, v)) << bad;
    EXPECT_EQ(op, kLess) << bad;
  }
}

TEST(NewsValues, Dates) {
  NewsDate d;
  for (const char* good : {"2024-02-29", "2000-02-29", "0000-01-01", "9999-12-31", "2025-04-30"}) {
    EXPECT_TRUE(parseNewsDate(good, d)) << good;
  }
  EXPECT_EQ(d, (NewsDate{2025, 4, 30}));
  for (const char* bad : {"2025-02-29", "1900-02-29", "2025-1-05", "2025-13-01", "2025-00-10", "2025-04-31",
                          "2025-04-00", "2025/04/01", "2025-04-011", "+025-04-01"}) {
    NewsDate untouched{1, 2, 3};
    EXPECT_FALSE(parseNewsDate(bad, untouched)) << bad;
    EXPECT_EQ(untouched, (NewsDate{1, 2, 3})) << bad;
  }
}

TEST(NewsValues, Platforms) {
  std::uint8_t mac = 1;
  std::uint8_t win = 1;
  EXPECT_TRUE(parsePlatforms("win", mac, win));
  EXPECT_EQ(mac, 0);
  EXPECT_EQ(win, 1);
  EXPECT_TRUE(parsePlatforms(" mac ,mac", mac, win));
  EXPECT_EQ(mac, 1);
  EXPECT_EQ(win, 0);
  for (const char* bad : {"", "win,", ",win", "mac,,win", "MAC", "linux", "win mac"}) {
    EXPECT_FALSE(parsePlatforms(bad, mac, win)) << bad;
  }
}

TEST(NewsValues, HttpsAddresses) {
  EXPECT_TRUE(isHttpsUrl("https://x"));
  EXPECT_TRUE(isHttpsUrl("https://example.org/a?b=c&d"));
  for (const char* bad : {"https://", "http://example.org", "HTTPS://example.org", "https://a b", "https://a\tb",
                          "https://a\"b", "https://a<b", "https://a>b", " https://x"}) {
    EXPECT_FALSE(isHttpsUrl(bad)) << bad;
  }
}

TEST(NewsValues, TextMarkup) {
  auto segments = [](std::string_view text, bool ok = true) {
    std::vector<NewsSegment> out;
    EXPECT_EQ(parseNewsText(text, out), ok) << text;
    return out;
  };
  using Segs = std::vector<NewsSegment>;
  EXPECT_EQ(segments("a [b] c"), (Segs{{0, "a [b] c", ""}}));
  EXPECT_EQ(segments("[b] (https://x)"), (Segs{{0, "[b] (https://x)", ""}}));
  EXPECT_EQ(segments("x [a[b](https://x/y)z"), (Segs{{0, "x ", ""}, {1, "a[b", "https://x/y"}, {0, "z", ""}}));
  EXPECT_EQ(segments("[](https://x)[l](https://y)"), (Segs{{1, "", "https://x"}, {1, "l", "https://y"}}));
  EXPECT_EQ(segments("[[[[ no close"), (Segs{{0, "[[[[ no close", ""}}));
  EXPECT_EQ(segments("a ][b](https://x)"), (Segs{{0, "a ]", ""}, {1, "b", "https://x"}}));
  EXPECT_TRUE(segments("").empty());
  segments("[a](https://)", false);
  segments("[a](http://example.org)", false);
  segments("[a](https://x", false);
  segments("[a](", false);
  segments("[a](https://x y)", false);

  std::vector<NewsSegment> appended{{0, "kept", ""}};
  ASSERT_TRUE(parseNewsText("more", appended));
  EXPECT_EQ(appended.size(), 2u);
}

TEST(NewsValues, TrimBlanks) {
  EXPECT_EQ(trimBlanks(" \t\r a b \r\t "), "a b");
  EXPECT_EQ(trimBlanks(" \t\r"), "");
  EXPECT_EQ(trimBlanks("\na\n"), "\na\n");  // line feeds are not blanks
}

}  // namespace
}  // namespace corva
