#pragma once
// Instances of the plug-in on the test framework base, made through its own create path.

#include <memory>

#include "plugin/corva_plug.h"

namespace corva::test {

inline std::unique_ptr<CorvaPlug> makePlug() {
  return std::unique_ptr<CorvaPlug>(static_cast<CorvaPlug*>(MakePlug(iplug::InstanceInfo{})));
}

// An instance whose idle ticks the test runs itself.
inline std::unique_ptr<CorvaPlug> makeIdlePlug() {
  auto plug = makePlug();
  plug->DestroyTimer();
  return plug;
}

}  // namespace corva::test
