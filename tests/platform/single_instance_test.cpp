#include "platform/single_instance.h"

#include <gtest/gtest.h>
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

}  // namespace
