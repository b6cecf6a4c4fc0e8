#pragma once
// Creates one instance of the instrument for the module's factory.

#include "pluginterfaces/base/funknown.h"

namespace corva {

// Constructs a new plug-in instance (one at a time, across all threads) and returns its
// audio-processor interface holding one reference, or null when it could not be made.
Steinberg::FUnknown* CreatePluginInstance(void* context);

}  // namespace corva
