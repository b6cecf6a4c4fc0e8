#include "framework/idle_timer.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <climits>

namespace iplug {

static_assert(std::atomic<std::uint32_t>::is_always_lock_free && sizeof(std::atomic<std::uint32_t>) == 4,
              "the stop flag is waited on as a futex word");

namespace {

// Sleeps until `deadline` (steady clock, which is CLOCK_MONOTONIC) unless `word` is not 0
// or becomes it and is woken; may also return early (a signal).
void WaitUntil(std::atomic<std::uint32_t>& word, std::chrono::steady_clock::time_point deadline) {
  const auto since = deadline.time_since_epoch();
  const auto secs = std::chrono::duration_cast<std::chrono::seconds>(since);
  timespec at{};
  at.tv_sec = static_cast<time_t>(secs.count());
  at.tv_nsec = static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(since - secs).count());
  syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), FUTEX_WAIT_BITSET_PRIVATE, 0u, &at, nullptr,
          FUTEX_BITSET_MATCH_ANY);
}

}  // namespace

std::unique_ptr<Timer> Timer::Create(ITimerFunction func, std::uint32_t intervalMs) {
  return std::make_unique<Timer>(std::move(func), intervalMs);
}

Timer::Timer(ITimerFunction func, std::uint32_t intervalMs)
    : mFunc(std::move(func)), mInterval(intervalMs > 0 ? intervalMs : 1) {
  mThread = std::thread([this] { Run(); });
}

Timer::~Timer() { Stop(); }

void Timer::Stop() {
  mStopping.store(1);
  syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&mStopping), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
  if (mThread.joinable()) mThread.join();
}

void Timer::Run() {
  using Clock = std::chrono::steady_clock;
  auto next = Clock::now() + mInterval;
  while (!mStopping.load()) {
    WaitUntil(mStopping, next);
    if (mStopping.load()) break;
    auto now = Clock::now();
    if (now < next) continue;  // woken early: wait on
    mFunc(*this);
    next += mInterval;
    now = Clock::now();
    if (next <= now) next = now + mInterval;
  }
}

}  // namespace iplug
