#include "vst3/create_instance.h"

#include "plugin/corva_plug.h"

namespace corva {

Steinberg::FUnknown* CreatePluginInstance(void* /*context*/) {
  // The plug-in's own create path constructs under its process-wide lock, so constructions
  // run one after another whichever host threads ask at once. Nothing may be thrown back
  // into the host: a construction that fails (memory, a thread that cannot start) gives
  // the host no instance.
  try {
    CORVA_PLUG_BASE* plug = MakePlug(iplug::InstanceInfo{});
    return plug ? static_cast<Steinberg::Vst::IAudioProcessor*>(plug) : nullptr;
  } catch (...) {
    return nullptr;
  }
}

}  // namespace corva
