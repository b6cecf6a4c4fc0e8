#include "framework/vst3_host_notifier.h"

#include <algorithm>

namespace iplug {

using namespace Steinberg;
using namespace Steinberg::Vst;

tresult PLUGIN_API VST3HostNotifier::RunLoopTimer::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  if (FUnknownPrivate::iidEqual(iid, Linux::ITimerHandler::iid) || FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
    *obj = this;
    return kResultOk;
  }
  *obj = nullptr;
  return kNoInterface;
}

VST3HostNotifier::VST3HostNotifier() = default;

VST3HostNotifier::~VST3HostNotifier() {
  DetachAllRunLoops();
  SetHandler(nullptr);
}

void VST3HostNotifier::SetHandler(IComponentHandler* handler) {
  if (handler) handler->addRef();
  IComponentHandler* old = nullptr;
  {
    std::lock_guard<std::mutex> lock(mMutex);
    old = mHandler;
    mHandler = handler;
    if (!handler) mQueue.clear();
    if (old && mHandlerUsers > 0) {
      mRetired.push_back(old);
      old = nullptr;
    }
  }
  if (old) old->release();
}

void VST3HostNotifier::Push(const Note& note) {
  std::lock_guard<std::mutex> lock(mMutex);
  // Without a handler there is nobody to tell: the host reads the state when it sets one.
  if (!mHandler) return;
  if (note.kind == Note::kRestart) {
    for (Note& waiting : mQueue) {
      if (waiting.kind == Note::kRestart) {
        waiting.flags |= note.flags;
        return;
      }
    }
  }
  mQueue.push_back(note);
}

void VST3HostNotifier::BeginEdit(ParamID id) { Push({Note::kBegin, id, 0.0, 0}); }

void VST3HostNotifier::PerformEdit(ParamID id, ParamValue value) { Push({Note::kPerform, id, value, 0}); }

void VST3HostNotifier::EndEdit(ParamID id) { Push({Note::kEnd, id, 0.0, 0}); }

void VST3HostNotifier::Restart(int32 flags) { Push({Note::kRestart, 0, 0.0, flags}); }

void VST3HostNotifier::RestartNow(int32 flags) {
  IComponentHandler* handler = nullptr;
  {
    std::lock_guard<std::mutex> lock(mMutex);
    handler = mHandler;
    if (!handler) return;
    ++mHandlerUsers;
    auto waiting = std::find_if(mQueue.begin(), mQueue.end(), [](const Note& n) { return n.kind == Note::kRestart; });
    if (waiting != mQueue.end()) {
      flags |= waiting->flags;
      mQueue.erase(waiting);
    }
  }
  handler->restartComponent(flags);
  EndHandlerUse();
}

void VST3HostNotifier::EndHandlerUse() {
  std::vector<IComponentHandler*> retired;
  {
    std::lock_guard<std::mutex> lock(mMutex);
    if (--mHandlerUsers == 0) retired.swap(mRetired);
  }
  for (IComponentHandler* h : retired) h->release();
}

bool VST3HostNotifier::HasPending() {
  std::lock_guard<std::mutex> lock(mMutex);
  return !mQueue.empty();
}

void VST3HostNotifier::Deliver() {
  std::vector<Note> batch;
  // Loops while notifications keep arriving, and once more when one arrived just as
  // another thread's delivery was ending.
  while (!mDelivering.exchange(true)) {
    for (;;) {
      IComponentHandler* handler = nullptr;
      {
        std::lock_guard<std::mutex> lock(mMutex);
        batch.clear();
        batch.swap(mQueue);
        handler = mHandler;
        if (batch.empty() || !handler) break;
        ++mHandlerUsers;
      }
      for (const Note& n : batch) {
        switch (n.kind) {
          case Note::kBegin:
            handler->beginEdit(n.id);
            break;
          case Note::kPerform:
            handler->performEdit(n.id, n.value);
            break;
          case Note::kEnd:
            handler->endEdit(n.id);
            break;
          case Note::kRestart:
            handler->restartComponent(n.flags);
            break;
        }
      }
      EndHandlerUse();
    }
    mDelivering.store(false);
    if (!HasPending()) break;
  }
}

void VST3HostNotifier::AttachRunLoop(Linux::IRunLoop* runLoop) {
  if (!runLoop) return;
  bool first = false;
  {
    std::lock_guard<std::mutex> lock(mMutex);
    if (std::find(mRunLoops.begin(), mRunLoops.end(), runLoop) != mRunLoops.end()) return;
    mRunLoops.push_back(runLoop);
    first = mRunLoops.size() == 1;
  }
  runLoop->addRef();
  if (first) runLoop->registerTimer(&mTimer, kRunLoopIntervalMs);
  mRunLoopCount.fetch_add(1);
}

void VST3HostNotifier::DetachRunLoop(Linux::IRunLoop* runLoop) {
  if (!runLoop) return;
  bool carriedTimer = false;
  Linux::IRunLoop* next = nullptr;
  {
    std::lock_guard<std::mutex> lock(mMutex);
    auto it = std::find(mRunLoops.begin(), mRunLoops.end(), runLoop);
    if (it == mRunLoops.end()) return;
    carriedTimer = it == mRunLoops.begin();
    mRunLoops.erase(it);
    if (carriedTimer && !mRunLoops.empty()) next = mRunLoops.front();
  }
  if (carriedTimer) {
    runLoop->unregisterTimer(&mTimer);
    if (next) next->registerTimer(&mTimer, kRunLoopIntervalMs);
  }
  mRunLoopCount.fetch_sub(1);
  runLoop->release();
}

void VST3HostNotifier::DetachAllRunLoops() {
  for (;;) {
    Linux::IRunLoop* last = nullptr;
    {
      std::lock_guard<std::mutex> lock(mMutex);
      if (mRunLoops.empty()) return;
      last = mRunLoops.back();
    }
    DetachRunLoop(last);
  }
}

}  // namespace iplug
