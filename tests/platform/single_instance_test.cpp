#include "platform/single_instance.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(SingleInstance, SecondStartAsksTheFirstAndTheNameDiesWithIt) {
  const std::string name = "corva-test-" + std::to_string(::getpid());
  ::unsetenv("CORVA_INSTANCE_NAME");
  {
    platform::SingleInstance first(name);
    ASSERT_EQ(first.Acquire(), platform::SingleInstance::Result::kFirst);
    EXPECT_EQ(first.TakeRequests(), 0);
    platform::SingleInstance second(name);
    EXPECT_EQ(second.Acquire(), platform::SingleInstance::Result::kOtherAsked);
    EXPECT_EQ(second.Fd(), -1);
    EXPECT_EQ(first.TakeRequests(), 1);
  }
  platform::SingleInstance later(name);
  EXPECT_EQ(later.Acquire(), platform::SingleInstance::Result::kFirst);
  ::setenv("CORVA_INSTANCE_NAME", (name + "-other").c_str(), 1);
  platform::SingleInstance other(name);
  EXPECT_EQ(other.Acquire(), platform::SingleInstance::Result::kFirst);
  ::unsetenv("CORVA_INSTANCE_NAME");
}

// Each user and each display has its own program; a name squatted by another user does
// not stop this user's program from starting.
TEST(SingleInstance, OneProgramPerUserAndDisplay) {
  ::unsetenv("CORVA_INSTANCE_NAME");
  const std::string base = "corva-session-test-" + std::to_string(::getpid());
  ::setenv("DISPLAY", ":91.0", 1);
  platform::SingleInstance onFirst(base);
  ASSERT_EQ(onFirst.Acquire(), platform::SingleInstance::Result::kFirst);
  ::setenv("DISPLAY", ":91", 1);
  platform::SingleInstance sameDisplay(base);
  EXPECT_EQ(sameDisplay.Acquire(), platform::SingleInstance::Result::kOtherAsked);
  ::setenv("DISPLAY", ":92", 1);
  platform::SingleInstance onSecond(base);
  EXPECT_EQ(onSecond.Acquire(), platform::SingleInstance::Result::kFirst);

  if (::geteuid() != 0) GTEST_SKIP() << "another user's program needs root to start";
  ::setenv("DISPLAY", ":93", 1);
  int ready[2], done[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(done), 0);
  const pid_t other = ::fork();
  ASSERT_GE(other, 0);
  if (other == 0) {
    char c = 0;
    platform::SingleInstance theirs(base);  // this user's name, taken by another user
    if (::setuid(65534) != 0) ::_exit(1);
    c = theirs.Acquire() == platform::SingleInstance::Result::kFirst ? 'y' : 'n';
    (void)!::write(ready[1], &c, 1);
    (void)!::read(done[0], &c, 1);
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  platform::SingleInstance mine(base);
  EXPECT_NE(mine.Acquire(), platform::SingleInstance::Result::kOtherAsked);
  // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) on "." + std::string.
  std::string uid = ".";
  uid += std::to_string(::geteuid());
  uid += '.';
  EXPECT_NE(platform::SingleInstance::SessionName(base).find(uid), std::string::npos);
  (void)!::write(done[1], "x", 1);
  ::waitpid(other, nullptr, 0);
}

}  // namespace
