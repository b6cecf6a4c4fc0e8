// The worker thread runs the job, counts it as finished (also when it threw), then
// frees the worker for the next start.

#include "plugin/background_worker.h"

#include <pthread.h>

#include <memory>
#include <utility>

#include "platform/module_pin.h"

namespace corva {

namespace {

struct WorkerJob {
  BackgroundWorker* worker;
  std::function<void()> job;
};

}  // namespace

BackgroundWorker& BackgroundWorker::instance() {
  static BackgroundWorker worker;
  return worker;
}

bool startWorkerThread(BackgroundWorker& worker, std::function<void()>&& job) {
  std::function<void()> taken = std::move(job);
  job = nullptr;
  std::lock_guard<std::mutex> lock(worker.mutex);
  if (worker.busy.load()) return false;
  // The thread runs code of this object: a host that unloads the plug-in module while a
  // job runs must not unmap it under the thread.
  if (!pinModuleOf(reinterpret_cast<const void*>(&workerThreadProc))) return false;

  auto record = std::make_unique<WorkerJob>(WorkerJob{&worker, std::move(taken)});
  worker.busy.exchange(1);
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  const int result = pthread_create(&thread, &attributes, workerThreadProc, record.get());
  pthread_attr_destroy(&attributes);
  if (result != 0) {
    worker.busy.exchange(0);
    return false;
  }
  record.release();  // the thread owns it now
  return true;
}

void* workerThreadProc(void* param) {
  std::unique_ptr<WorkerJob> record(static_cast<WorkerJob*>(param));
  BackgroundWorker& worker = *record->worker;
  // A job reports its outcome through files; whatever it throws must not end the
  // process, and it counts as finished like any other.
  try {
    record->job();
  } catch (...) {
  }
  // The count rises before busy falls, so a poller that sees the new count may for a
  // moment still find the worker busy.
  worker.finishedJobs.fetch_add(1);
  worker.busy.store(0);
  return nullptr;  // the record and its job go here
}

}  // namespace corva
