#include "model/param_table.h"

namespace corva {
namespace {
const char* const kToneLabels[] = {"1", "2", "3", "4"};
const char* const kModeLabels[] = {"1", "2", "3", "4"};
const char* const kSpeedLabels[] = {"1", "2", "3", "OFF"};
const char* const kOversampleLabels[] = {"1x", "2x", "4x", "8x"};
}  // namespace

//                  key           name           min   max   default bool enum noAuto log count labels
const ParamSpec kParamTable[kNumParams] = {
    {"tone", "Tone", 0.f, 3.f, 1.f, 0, 1, 0, 0, 4, kToneLabels},
    {"mode", "Mode", 0.f, 3.f, 0.f, 0, 1, 0, 0, 4, kModeLabels},
    {"speed", "Speed", 0.f, 3.f, 1.f, 0, 1, 0, 0, 4, kSpeedLabels},
    {"volume", "Volume", 0.f, 1.f, 1.f, 0, 0, 0, 0, 0, nullptr},
    {"toneBtn", "Tone Button", 0.f, 1.f, 0.f, 1, 0, 0, 0, 0, nullptr},
    {"corvaBtn", "Corva Button", 0.f, 1.f, 0.f, 1, 0, 0, 0, 0, nullptr},
    {"trigger", "Trigger", 0.f, 1.f, 0.f, 1, 0, 0, 0, 0, nullptr},
    {"hold", "Hold", 0.f, 1.f, 0.f, 1, 0, 0, 0, 0, nullptr},
    {"oversample", "Oversample", 0.f, 3.f, 2.f, 0, 1, 0, 0, 4, kOversampleLabels},
    {"vcc", "Supply", 6.f, 15.f, 12.2f, 0, 0, 0, 0, 0, nullptr},
    {"reverb", "Reverb", 0.f, 1.f, 0.f, 0, 0, 0, 0, 0, nullptr},
    {"echo", "Echo", 0.f, 1.f, 0.f, 1, 0, 0, 0, 0, nullptr},
    {"feedback", "Feedback", 0.f, 1.f, 0.35f, 0, 0, 0, 0, 0, nullptr},
    {"time", "Time", 40.f, 800.f, 300.f, 0, 0, 0, 1, 0, nullptr},
    {"ledLevel", "LED Level", 0.f, 1.f, 0.f, 0, 0, 1, 0, 0, nullptr},
};

}  // namespace corva
