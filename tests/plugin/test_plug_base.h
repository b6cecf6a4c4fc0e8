#pragma once
// A minimal in-process framework base for unit tests of CorvaPlug: no audio device, no
// host; it records what the plug-in tells the host, under a lock, since the idle timer
// may report from its own thread.

#include <array>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "framework/config.h"
#include "framework/iplug_api_base.h"
#include "framework/iplug_processor.h"

namespace corva::test {

class TestPlugBase : public iplug::IPlugAPIBase, public iplug::IPlugProcessor {
 public:
  TestPlugBase(const iplug::InstanceInfo&, const iplug::Config& config)
      : iplug::IPlugAPIBase(config), iplug::IPlugProcessor(config) {}

  void BeginInformHostOfParamChange(int idx) override { record({'b', idx, 0.0}); }
  void InformHostOfParamChange(int idx, double normalized) override { record({'p', idx, normalized}); }
  void EndInformHostOfParamChange(int idx) override { record({'e', idx, 0.0}); }

  void SetLatency(int samples) override {
    iplug::IPlugProcessor::SetLatency(samples);
    {
      std::lock_guard<std::mutex> lock(mMutex);
      mLatencyReports.push_back(samples);
    }
    if (onLatency) onLatency(samples);
  }

  // Counts what the plug-in hands to its interface without telling the host.
  void SendParameterValueFromDelegate(int idx, double value, bool normalized) override {
    {
      std::lock_guard<std::mutex> lock(mMutex);
      ++mDelegateSends[static_cast<std::size_t>(idx) % mDelegateSends.size()];
    }
    iplug::IPlugAPIBase::SendParameterValueFromDelegate(idx, value, normalized);
  }
  int delegateSends(int idx) {
    std::lock_guard<std::mutex> lock(mMutex);
    return mDelegateSends[static_cast<std::size_t>(idx) % mDelegateSends.size()];
  }

  // Lets a test open the editor on a graphics object of its own (one without a window).
  void SetMakeGraphicsFunc(std::function<iplug::igraphics::IGraphics*()> make) { mMakeGraphicsFunc = std::move(make); }

  struct HostEdit {
    char kind;  // 'b' begin, 'p' perform, 'e' end
    int idx;
    double normalized;
  };

  std::vector<HostEdit> hostEdits() {
    std::lock_guard<std::mutex> lock(mMutex);
    return mHostEdits;
  }
  std::vector<int> latencyReports() {
    std::lock_guard<std::mutex> lock(mMutex);
    return mLatencyReports;
  }

  // Called after each latency report, as a host's restart request would be.
  std::function<void(int)> onLatency;

 private:
  void record(HostEdit edit) {
    std::lock_guard<std::mutex> lock(mMutex);
    mHostEdits.push_back(edit);
  }

  std::mutex mMutex;
  std::vector<HostEdit> mHostEdits;
  std::vector<int> mLatencyReports;
  std::array<int, 16> mDelegateSends{};
};

}  // namespace corva::test
