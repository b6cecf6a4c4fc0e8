#include "framework/idle_timer.h"

namespace iplug {

std::unique_ptr<Timer> Timer::Create(ITimerFunction func, std::uint32_t intervalMs) {
  return std::make_unique<Timer>(std::move(func), intervalMs);
}

Timer::Timer(ITimerFunction func, std::uint32_t intervalMs)
    : mFunc(std::move(func)), mInterval(intervalMs > 0 ? intervalMs : 1) {
  mThread = std::thread([this] { Run(); });
}

Timer::~Timer() { Stop(); }

void Timer::Stop() {
  {
    std::lock_guard<std::mutex> lock(mMutex);
    mStopping = true;
  }
  mWake.notify_all();
  if (mThread.joinable()) mThread.join();
}

void Timer::Run() {
  auto next = std::chrono::steady_clock::now() + mInterval;
  std::unique_lock<std::mutex> lock(mMutex);
  while (!mStopping) {
    if (mWake.wait_until(lock, next, [this] { return mStopping; })) break;
    lock.unlock();
    mFunc(*this);
    lock.lock();
    next += mInterval;
    const auto now = std::chrono::steady_clock::now();
    if (next <= now) next = now + mInterval;
  }
}

}  // namespace iplug
