#pragma once
// A repeating timer on a thread of its own. It calls its function every period until
// stopped; a tick that comes late is not made up for with a burst of calls.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
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
  std::mutex mMutex;
  std::condition_variable mWake;
  bool mStopping = false;
  std::thread mThread;
};

}  // namespace iplug
