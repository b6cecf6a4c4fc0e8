#pragma once
// Where a parameter change came from, handed to the change handlers.

namespace iplug {

enum EParamSource { kReset, kHost, kPresetRecall, kUI, kDelegate, kRecompile, kUnknown };

enum ERoute { kInput = 0, kOutput = 1 };

}  // namespace iplug
