#include "framework/iplug_api_base.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

namespace iplug {

IPlugAPIBase::IPlugAPIBase(const Config& config)
    : IPluginBase(config), mOpenGestures(static_cast<std::size_t>(std::max(config.nParams, 0)), 0) {}

IPlugAPIBase::~IPlugAPIBase() {
  DestroyTimer();
  if (mIdleEventFd >= 0) close(mIdleEventFd);
}

void IPlugAPIBase::SendParameterValueFromUI(int paramIdx, double normalizedValue) {
  IParam* param = GetParam(paramIdx);
  if (!param) return;
  param->SetNormalized(normalizedValue);
  // Hosts expect every edit inside a gesture: an edit outside a gesture of the interface
  // (a key, a MIDI controller, a wheel notch) is one of its own.
  const bool inGesture = mOpenGestures[static_cast<std::size_t>(paramIdx)] > 0;
  if (!inGesture) BeginInformHostOfParamChange(paramIdx);
  InformHostOfParamChange(paramIdx, param->GetNormalized());
  if (!inGesture) EndInformHostOfParamChange(paramIdx);
  OnParamChange(paramIdx, kUI);
  param->SetNormalized(normalizedValue);
  OnParamChangeUI(paramIdx, kUI);
}

void IPlugAPIBase::BeginParameterGestureFromUI(int paramIdx) {
  if (!GetParam(paramIdx)) return;
  if (mOpenGestures[static_cast<std::size_t>(paramIdx)]++ == 0) BeginInformHostOfParamChange(paramIdx);
}

void IPlugAPIBase::EndParameterGestureFromUI(int paramIdx) {
  if (!GetParam(paramIdx)) return;
  int& open = mOpenGestures[static_cast<std::size_t>(paramIdx)];
  if (open == 0) return;
  if (--open == 0) EndInformHostOfParamChange(paramIdx);
}

void IPlugAPIBase::EndAllParameterGesturesFromUI() {
  for (std::size_t i = 0; i < mOpenGestures.size(); ++i) {
    if (mOpenGestures[i] == 0) continue;
    mOpenGestures[i] = 0;
    EndInformHostOfParamChange(static_cast<int>(i));
  }
}

void IPlugAPIBase::OnTimer() {
  {
    std::lock_guard<std::mutex> route(mIdleRouteMutex);
    if (mIdleEventFd >= 0) {
      const std::uint64_t one = 1;
      if (write(mIdleEventFd, &one, sizeof one) == static_cast<ssize_t>(sizeof one)) return;
    }
  }
  {
    std::unique_lock<std::recursive_mutex> lock(mInterfaceMutex, std::try_to_lock);
    if (lock.owns_lock()) OnIdle();
  }
  AfterIdleTick();
}

int IPlugAPIBase::RouteIdleToHostLoop() {
  std::lock_guard<std::mutex> route(mIdleRouteMutex);
  if (mIdleEventFd < 0) mIdleEventFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  return mIdleEventFd;
}

void IPlugAPIBase::OnHostIdleEvent() {
  {
    std::lock_guard<std::recursive_mutex> lock(mInterfaceMutex);
    int fd = -1;
    {
      std::lock_guard<std::mutex> route(mIdleRouteMutex);
      fd = mIdleEventFd;
    }
    std::uint64_t ticks = 0;
    // Ticks that piled up while the host was busy run once: a late tick is not made up.
    if (fd >= 0 && read(fd, &ticks, sizeof ticks) == static_cast<ssize_t>(sizeof ticks) && ticks > 0) OnIdle();
  }
  AfterIdleTick();
}

void IPlugAPIBase::RouteIdleToTimer() {
  std::lock_guard<std::recursive_mutex> lock(mInterfaceMutex);
  int fd = -1;
  {
    std::lock_guard<std::mutex> route(mIdleRouteMutex);
    fd = mIdleEventFd;
    mIdleEventFd = -1;
  }
  if (fd < 0) return;
  std::uint64_t ticks = 0;
  if (read(fd, &ticks, sizeof ticks) == static_cast<ssize_t>(sizeof ticks) && ticks > 0) OnIdle();
  close(fd);
}

void IPlugAPIBase::CreateTimer() {
  if (mTimer) return;
  mTimer = Timer::Create([this](Timer&) { OnTimer(); }, kIdleTimerMs);
}

void IPlugAPIBase::DestroyTimer() {
  if (!mTimer) return;
  mTimer->Stop();
  mTimer.reset();
}

}  // namespace iplug
