// The idle handler: every 20 ms on the interface side, for the plug-in's whole life.

#include "plugin/corva_plug.h"

using namespace corva;

void CorvaPlug::OnIdle() {
  // The LED level goes to the interface; the host is not told, since it does not
  // automate this output. A NaN never equals ledSent, so it is always sent (and the
  // parameter constrains it to 0).
  const float level = ledLevel.load(std::memory_order_relaxed);
  if (!(level == ledSent)) {
    ledSent = level;
    GetParam(kLedLevel)->Set(level);
    SendParameterValueFromDelegate(kLedLevel, level, false);
  }

  const std::int32_t pending = pendingLatency.load(std::memory_order_relaxed);
  if (pending != reportedLatency.load(std::memory_order_relaxed)) reportLatency(pending);
}
