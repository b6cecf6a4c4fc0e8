// The temporary-file counter is process-wide, so this check has a program of its own:
// these must be the first two writes of the process.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "model/data_folder.h"
#include "tests/support/temp_folder.h"

namespace corva {
namespace {

TEST(WriteFileAtomic, FirstTwoWritesUseTemporaryNamesEndingInZeroAndOne) {
  test::TempFolder tmp;
  const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_GE(::inotify_add_watch(fd, tmp.path().c_str(), IN_CREATE), 0);
  ASSERT_TRUE(writeFileAtomic(tmp / "f", "one"));
  ASSERT_TRUE(writeFileAtomic(tmp / "f", "two"));

  std::vector<std::string> created;
  alignas(inotify_event) char buffer[4096];
  const ssize_t n = ::read(fd, buffer, sizeof buffer);
  for (ssize_t at = 0; at < n;) {
    const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
    created.emplace_back(event->name);
    at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
  }
  ::close(fd);
  const std::string prefix = "f.tmp." + std::to_string(::getpid()) + ".";
  EXPECT_EQ(created, (std::vector<std::string>{prefix + "0", prefix + "1"}));
  EXPECT_EQ(test::readBytes(tmp / "f"), "two");
}

}  // namespace
}  // namespace corva
