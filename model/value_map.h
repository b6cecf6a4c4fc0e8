#pragma once
// A parameter value in its own units to its 0..1 position on a control, and back:
// linear, or logarithmic for parameters marked isLog. Neither clamps; callers do.

#include "model/param_table.h"

namespace corva {

float toNormalised(const ParamSpec& spec, float value);
float fromNormalised(const ParamSpec& spec, float t);

}  // namespace corva
