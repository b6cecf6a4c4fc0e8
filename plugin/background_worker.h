#pragma once
// The process-wide background worker: runs at most one blocking job at a time on a
// detached thread and counts finished jobs, so that the interface thread can notice by
// polling that a job has ended. A job leaves its result in a file; there is no result
// channel.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

namespace corva {

class BackgroundWorker {
 public:
  // The one worker of the process, made on first use.
  static BackgroundWorker& instance();

  std::mutex mutex;                            // held while a job is being started
  std::atomic<std::uint8_t> busy{0};           // 1 from a start until the job has returned
  std::atomic<std::uint32_t> finishedJobs{0};  // jobs returned since the process started; wraps
};

// Hands job to a new detached thread. False when a job is still running or no thread
// could be started; the job is then dropped, not queued. Either way job is left empty.
// While the job runs, the shared object holding this code stays loaded even if its
// host unloads it.
[[nodiscard]] bool startWorkerThread(BackgroundWorker& worker, std::function<void()>&& job);

// The worker thread's routine; param is the job record made by startWorkerThread.
void* workerThreadProc(void* param);

}  // namespace corva
