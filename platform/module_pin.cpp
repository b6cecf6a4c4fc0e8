// Pinning through the dynamic loader: opening an object that is already loaded with
// RTLD_NOLOAD | RTLD_NODELETE adds the no-unload mark to it; the extra handle is closed
// again at once, the mark stays.

#include "platform/module_pin.h"

#include <dlfcn.h>
#include <link.h>

namespace corva {

bool pinModuleOf(const void* address) {
  Dl_info info{};
  link_map* map = nullptr;
  if (!dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) || !map) return false;
  // The main program's entry has an empty name.
  if (!map->l_name || map->l_name[0] == '\0') return true;
  void* handle = dlopen(map->l_name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
  if (!handle) return false;
  dlclose(handle);
  return true;
}

}  // namespace corva
