#pragma once
// A repeating timer on a thread of its own. It calls its function every period until
// stopped; a tick that comes late is not made up for with a burst of calls.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace iplug {

class Timer {
 public:
  using ITimerFunction = std::function<void(Timer&)>;

  static std::unique_ptr<Timer> Create(ITimerFunction func, std::uint32_t intervalMs);

  Timer(ITimerFunction func, std::uint32_t intervalMs);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  // Stops the timer and waits for a running call to return. Must not be called from
  // the timer's own function.
  void Stop();

 private:
  void Run();

  ITimerFunction mFunc;
  std::chrono::milliseconds mInterval;
  // 1 once stopping; the thread sleeps on this word between ticks (one wait per tick).
  std::atomic<std::uint32_t> mStopping{0};
  std::thread mThread;
};

}  // namespace iplug
