#pragma once
// The instrument's 15 parameters: their order, ranges, defaults and display texts.
// The row index of kParamTable is the ParamId and the framework's parameter index.

#include <cstdint>

namespace corva {

enum ParamId : int {
  kTone = 0,
  kMode,
  kSpeed,
  kVolume,
  kToneBtn,
  kCorvaBtn,
  kTrigger,
  kHold,
  kOversample,
  kVcc,
  kReverb,
  kEcho,
  kFeedback,
  kTime,
  kLedLevel,
  kNumParams
};

struct ParamSpec {
  const char* key;   // lowerCamelCase key; the MIDI map file names its targets by it
  const char* name;  // display name registered with the framework
  float minValue;
  float maxValue;
  float defaultValue;
  std::uint8_t isBool;
  std::uint8_t isEnum;
  std::uint8_t cannotAutomate;
  std::uint8_t isLog;
  std::int32_t enumCount;
  const char* const* enumLabels;  // enumCount texts, or null
};

extern const ParamSpec kParamTable[kNumParams];

}  // namespace corva
