#pragma once
// The once-per-second statistics line written to standard error when CORVA_LOG is set.

#include <cstddef>

#include "engine/circuit_engine.h"

namespace corva {

// Whether CORVA_LOG is set (an empty value counts), decided once per process on the
// first call. Instances call it when they are made, so the audio thread never runs
// the decision itself.
bool statsLoggingOn();

// Formats the line from the engine's statistics and the selector positions; returns
// the number of characters written (at most size - 1).
int formatStatsLine(char* out, std::size_t size, const CircuitEngine& engine, int mode, int speed, int tone);

// Clears the statistics the line reports, after it was written.
void resetEngineStats(CircuitEngine& engine);

}  // namespace corva
