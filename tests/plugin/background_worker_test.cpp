// The background worker: one job at a time, every finished job counted, and a module
// unloaded by its host while a job runs its code.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>

#include "plugin/background_worker.h"
#include "tests/support/silent_listener.h"
#include "tests/support/temp_folder.h"

namespace corva {
namespace {

bool waitUntilIdle(BackgroundWorker& worker) {
  for (int i = 0; i < 500 && worker.busy.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return !worker.busy.load();
}

TEST(BackgroundWorker, RunsOneJobAtATimeAndCountsEveryFinishedJob) {
  BackgroundWorker& worker = BackgroundWorker::instance();
  const std::uint32_t count0 = worker.finishedJobs.load();
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::function<void()> first = [released] { released.wait(); };
  ASSERT_TRUE(startWorkerThread(worker, std::move(first)));
  EXPECT_FALSE(first);

  std::atomic<bool> secondRan{false};
  std::function<void()> second = [&secondRan] { secondRan = true; };
  EXPECT_FALSE(startWorkerThread(worker, std::move(second)));
  EXPECT_FALSE(second) << "a refused job is dropped";
  EXPECT_EQ(worker.finishedJobs.load(), count0);

  release.set_value();
  ASSERT_TRUE(waitUntilIdle(worker));
  EXPECT_EQ(worker.finishedJobs.load(), count0 + 1);
  EXPECT_FALSE(secondRan);

  // A job that throws ends like any other and the process goes on.
  ASSERT_TRUE(startWorkerThread(worker, [] { throw std::runtime_error("job failed"); }));
  ASSERT_TRUE(waitUntilIdle(worker));
  EXPECT_EQ(worker.finishedJobs.load(), count0 + 2);
  ASSERT_TRUE(startWorkerThread(worker, [] { throw 42; }));
  ASSERT_TRUE(waitUntilIdle(worker));
  EXPECT_EQ(worker.finishedJobs.load(), count0 + 3);
}

// A test module starts a fetch from a server that accepts the connection and never
// answers, then the host unloads the module. The job must run to its end in code that
// is still mapped, and leave its marker file.
TEST(BackgroundWorker, ModuleUnloadedWhileAFetchRuns) {
  test::TempFolder dir;
  const std::string marker = dir / "finished";
  test::SilentListener listener;
  ASSERT_TRUE(listener.ok);
  const std::string url = "https://" + listener.address() + "/";

  void* module = dlopen(CORVA_WORKER_TEST_MODULE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  using StartFn = bool (*)(const char* url, const char* marker);
  auto start = reinterpret_cast<StartFn>(dlsym(module, "startSlowFetch"));
  ASSERT_NE(start, nullptr);
  ASSERT_TRUE(start(url.c_str(), marker.c_str()));
  dlclose(module);

  for (int i = 0; i < 1000 && test::readBytes(marker) != "fetch over"; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(test::readBytes(marker), "fetch over");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the thread leaves the module
}

}  // namespace
}  // namespace corva
