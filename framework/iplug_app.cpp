#include "framework/iplug_app.h"

namespace iplug {

IPlugAPP::IPlugAPP(const InstanceInfo& /*info*/, const Config& config) : IPlugAPIBase(config), IPlugProcessor(config) {}

IPlugAPP::~IPlugAPP() = default;

void IPlugAPP::AppProcess(double** inputs, double** outputs, int /*nFrames*/) {
  IMidiMsg msg;
  while (mMidiMsgsFromCallback.Pop(msg)) ProcessMidiMsg(msg);
  // Copied out one at a time: a record is 520 bytes and the audio thread's stack holds one.
  SysExData sysex;
  while (mSysExMsgsFromCallback.Pop(sysex)) ProcessSysEx(sysex);
  ProcessBuffers(inputs, outputs, GetBlockSize());
}

}  // namespace iplug
