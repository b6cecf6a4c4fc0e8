// A small shared object for the worker test: it starts a fetch on its own copy of the
// background worker and writes a marker file when the fetch is over.

#include <fstream>
#include <string>

#include "platform/https_get.h"
#include "plugin/background_worker.h"

extern "C" __attribute__((visibility("default"))) bool startSlowFetch(const char* url, const char* marker) {
  return corva::startWorkerThread(corva::BackgroundWorker::instance(), [u = std::string(url), m = std::string(marker)] {
    std::string body;
    (void)corva::httpsGet(u.c_str(), "worker-test", body);
    std::ofstream(m) << "fetch over";
  });
}
