#include "vst3/create_instance.h"

#include <mutex>
#include <new>

#include "plugin/corva_plug.h"

namespace corva {

Steinberg::FUnknown* CreatePluginInstance(void* /*context*/) {
  // Constructions run one after another, whichever host threads ask at once.
  static std::mutex createMutex;
  CorvaPlug* plug = nullptr;
  {
    std::lock_guard<std::mutex> lock(createMutex);
    plug = new (std::nothrow) CorvaPlug(iplug::InstanceInfo{});
  }
  if (!plug) return nullptr;
  return static_cast<Steinberg::Vst::IAudioProcessor*>(plug);
}

}  // namespace corva
