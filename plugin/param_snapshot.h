#pragma once
// Turns the parameters' current values into what the engine and the effects chain take
// at the start of a block.

#include "engine/circuit_engine.h"
#include "model/param_table.h"

namespace corva {

struct EffectParams {
  bool echoOn = false;
  float echoFeedback = 0.35f;
  float echoTimeMs = 300.0f;
  float reverbAmount = 0.0f;
};

// `values` holds kNumParams values in parameter order, in each parameter's own units.
// Buttons and hold are on above 0.5 (single precision); selectors round halves away
// from zero.
EngineControls engineControlsFromParams(const double* values);
// The echo is on from 0.5 up, compared in double precision.
EffectParams effectParamsFromParams(const double* values);

}  // namespace corva
