// The feed cache and the dismissed-notice file in a private data folder.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "model/data_folder.h"
#include "plugin/news_cache.h"
#include "plugin/news_dismissed.h"
#include "tests/support/temp_folder.h"

namespace corva {
namespace {

using test::readBytes;
using test::TempFolder;
using test::writeBytes;

TEST(NewsCacheFile, OnlyTheExactFirstLineIsValid) {
  TempFolder dir;
  const std::string path = newsCachePath(dir.path());
  for (const char* bad :
       {"", "fetched = 12", "fetched=12\nx", "fetched =12\nx", "fetched= 12\nx", "fetched = 12\r\nx",
        "fetched = +12\nx", "fetched = -12\nx", "fetched = 1 2\nx", "fetched = \nx", "Fetched = 12\nx"}) {
    writeBytes(path, bad);
    const NewsCache cache = readNewsCache(dir.path());
    EXPECT_FALSE(cache.valid) << bad;
    EXPECT_EQ(cache.fetched, 0);
    EXPECT_EQ(cache.text, "");
  }
  writeBytes(path, "fetched = 99999999999999999999999\n");
  NewsCache cache = readNewsCache(dir.path());
  EXPECT_TRUE(cache.valid);
  EXPECT_EQ(cache.fetched, LLONG_MAX);
  EXPECT_EQ(cache.text, "");

  // A cache past the whole-file limit is not read.
  writeBytes(path, "fetched = 5\n" + std::string(kMaxWholeFileBytes, 'x'));
  EXPECT_FALSE(readNewsCache(dir.path()).valid);
}

TEST(NewsCacheFile, WrittenByteForByteAndFreshForAnHour) {
  TempFolder dir;
  const std::string folder = dir / "a/b";
  const std::string feed = "title = x\r\n\nsignature = abc\n";
  ASSERT_TRUE(writeNewsCache(feed, 1700000000, folder));
  EXPECT_EQ(readBytes(newsCachePath(folder)), "fetched = 1700000000\n" + feed);

  const NewsCache cache = readNewsCache(folder);
  ASSERT_TRUE(cache.valid);
  EXPECT_EQ(cache.fetched, 1700000000);
  EXPECT_EQ(cache.text, feed);
  EXPECT_TRUE(isNewsCacheFresh(cache, 1700000000 + 3599));
  EXPECT_FALSE(isNewsCacheFresh(cache, 1700000000 + 3600));
  EXPECT_FALSE(isNewsCacheFresh(cache, 1700000000 - 1));

  // A folder that cannot be made: nothing written, the old cache stays.
  writeBytes(dir / "file", "");
  EXPECT_FALSE(writeNewsCache(feed, 1, dir / "file/sub"));
  EXPECT_EQ(readNewsCache(folder).fetched, 1700000000);
}

TEST(DismissedFile, ReadsLineEndingsAndRewritesOnlyForNewIds) {
  TempFolder dir;
  const std::string path = dismissedPath(dir.path());
  EXPECT_TRUE(loadDismissed(dir.path()).empty());
  writeBytes(path, "a\r\n\r\n\nb\r\nb\n c\nd");
  EXPECT_EQ(loadDismissed(dir.path()), (std::vector<std::string>{"a", "b", "b", " c", "d"}));

  struct stat before {
  }, after{};
  ::stat(path.c_str(), &before);
  EXPECT_TRUE(dismissNotice("b", dir.path()));
  ::stat(path.c_str(), &after);
  EXPECT_EQ(before.st_ino, after.st_ino) << "a known id rewrote the file";

  EXPECT_TRUE(dismissNotice("update-1.0.0", dir.path()));
  EXPECT_EQ(readBytes(path), "a\nb\nb\n c\nd\nupdate-1.0.0\n");

  EXPECT_TRUE(dismissNotice("x", dir / "new/folder"));
  EXPECT_EQ(readBytes(dismissedPath(dir / "new/folder")), "x\n");
}

// A list that has grown past a whole-file read keeps its newest ids, and the next
// dismissal writes a file that can be read whole again.
TEST(DismissedFile, PastTheReadLimitKeepsTheNewestIds) {
  TempFolder dir;
  std::string content;
  char id[16];
  for (int i = 0; i < 8000; ++i) {
    std::snprintf(id, sizeof id, "id-%05d", i);
    content += id;
    content += '\n';
  }
  ASSERT_GT(content.size(), kMaxWholeFileBytes);
  writeBytes(dismissedPath(dir.path()), content);

  const std::vector<std::string> ids = loadDismissed(dir.path());
  ASSERT_GT(ids.size(), 7000u);
  EXPECT_EQ(ids.back(), "id-07999");
  std::snprintf(id, sizeof id, "id-%05zu", 8000 - ids.size());
  EXPECT_EQ(ids.front(), id);  // a whole id, not a cut one

  ASSERT_TRUE(dismissNotice("fresh", dir.path()));
  const std::string rewritten = readBytes(dismissedPath(dir.path()));
  EXPECT_LE(rewritten.size(), kMaxWholeFileBytes);
  const std::vector<std::string> after = loadDismissed(dir.path());
  EXPECT_GT(after.size(), 7000u);
  EXPECT_EQ(after.back(), "fresh");
  EXPECT_EQ(after[after.size() - 2], "id-07999");
}

// Two processes dismissing different ids at the same moments: every id ends up on file,
// each on a line of its own.
TEST(DismissedFile, TwoProcessesDismissingAtOnceLoseNothing) {
  TempFolder dir;
  constexpr int kRounds = 40;
  int go[2];
  ASSERT_EQ(::pipe(go), 0);
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = ::fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      ::close(go[1]);
      char byte;
      (void)::read(go[0], &byte, 1);  // returns when the parent closes its end
      bool ok = true;
      for (int i = 0; i < kRounds; ++i)
        ok = dismissNotice(std::string(1, char('a' + c)) + std::to_string(i), dir.path()) && ok;
      ::_exit(ok ? 0 : 1);
    }
  }
  ::close(go[0]);
  ::close(go[1]);
  for (pid_t child : children) {
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const std::vector<std::string> ids = loadDismissed(dir.path());
  EXPECT_EQ(ids.size(), 2u * kRounds);
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < kRounds; ++i) {
      const std::string id = std::string(1, char('a' + c)) + std::to_string(i);
      EXPECT_EQ(std::count(ids.begin(), ids.end(), id), 1) << id;
    }
  }
}

}  // namespace
}  // namespace corva
