#pragma once
// Keeps a loaded shared object in memory while code of it may still run on a thread of
// its own, such as a background job in a plug-in module that its host unloads meanwhile.

namespace corva {

// Marks the shared object that contains `address` so that it is never unloaded before
// the process ends. True when it is marked, or when the address belongs to the main
// program, which is never unloaded; false when the object cannot be found.
[[nodiscard]] bool pinModuleOf(const void* address);

}  // namespace corva
