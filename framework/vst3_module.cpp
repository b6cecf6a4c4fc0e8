#include "framework/vst3_module.h"

#include <atomic>

namespace iplug {

namespace {
std::atomic<void*> gModuleHandle{nullptr};
}

void* GetModuleHandle() { return gModuleHandle.load(); }
void SetModuleHandle(void* handle) { gModuleHandle.store(handle); }

}  // namespace iplug
