#pragma once
// What the module's entry tells the framework about the loaded shared library.

namespace iplug {

// The handle the host passed to the module's entry (the dlopen handle), null before it.
void* GetModuleHandle();
void SetModuleHandle(void* handle);

}  // namespace iplug
