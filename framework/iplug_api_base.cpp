#include "framework/iplug_api_base.h"

namespace iplug {

IPlugAPIBase::IPlugAPIBase(const Config& config) : IPluginBase(config) {}

IPlugAPIBase::~IPlugAPIBase() { DestroyTimer(); }

void IPlugAPIBase::SendParameterValueFromUI(int paramIdx, double normalizedValue) {
  IParam* param = GetParam(paramIdx);
  if (!param) return;
  param->SetNormalized(normalizedValue);
  // Hosts expect every edit inside a gesture; an edit from our own interface is one.
  BeginInformHostOfParamChange(paramIdx);
  InformHostOfParamChange(paramIdx, param->GetNormalized());
  EndInformHostOfParamChange(paramIdx);
  OnParamChange(paramIdx, kUI);
  param->SetNormalized(normalizedValue);
  OnParamChangeUI(paramIdx, kUI);
}

void IPlugAPIBase::OnTimer() {
  {
    std::unique_lock<std::recursive_mutex> lock(mInterfaceMutex, std::try_to_lock);
    if (lock.owns_lock()) OnIdle();
  }
  AfterIdleTick();
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
