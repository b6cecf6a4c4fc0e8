#include "plugin/corva_plug.h"

#include <cstring>
#include <mutex>

#include "model/midi_map_file.h"
#include "plugin/plug_config.h"
#include "plugin/stats_line.h"

using namespace corva;

CorvaPlug::CorvaPlug(const iplug::InstanceInfo& info) : PlugBase(info, plugConfig()) {
  registerParams();
  installEditorFunctions();
  (void)statsLoggingOn();
  // The map from the data folder, or the default map; nothing is written here.
  uiModel.midiMap = loadMidiMap();
  publishNoteGateRouting();
  // The idle handler touches the members above, so its timer starts only now that they
  // all exist, and stops first thing in the destructor.
  CreateTimer();
}

CorvaPlug::~CorvaPlug() {
  DestroyTimer();
  CloseWindow();
}

void CorvaPlug::registerParams() {
  const iplug::IParam::ShapeExp expShape;
  const iplug::IParam::ShapeLinear linearShape;
  for (int i = 0; i < kNumParams; ++i) {
    const ParamSpec& spec = kParamTable[i];
    iplug::IParam* param = GetParam(i);
    if (spec.enumCount > 0) {
      param->InitEnum(spec.name, static_cast<int>(spec.defaultValue), spec.enumCount, "", 0, "");
      for (int j = 0; j < spec.enumCount; ++j) param->SetDisplayText(j, spec.enumLabels[j]);
    } else if (spec.isBool) {
      param->InitBool(spec.name, spec.defaultValue > 0.5f, "", 0, "", "off", "on");
    } else {
      param->InitDouble(spec.name, spec.defaultValue, spec.minValue, spec.maxValue, 0.001, "",
                        spec.cannotAutomate ? iplug::kFlagCannotAutomate : 0, "",
                        spec.isLog ? static_cast<const iplug::IParam::Shape&>(expShape) : linearShape,
                        iplug::IParam::kUnitCustom);
    }
  }
}

bool CorvaPlug::SerializeState(iplug::IByteChunk& chunk) const {
  for (int i = 0; i < NParams(); ++i) {
    const double v = i == kLedLevel ? 0.0 : GetParam(i)->Value();
    chunk.Put(&v);
  }
  return true;
}

int CorvaPlug::UnserializeState(const iplug::IByteChunk& chunk, int startPos) {
  iplug::IByteChunk restored;
  restored.PutBytes(chunk.GetData(), chunk.Size());
  const double zero = 0.0;
  for (int idx : {kToneBtn, kCorvaBtn, kTrigger, kLedLevel}) {
    const long long at = static_cast<long long>(startPos) + static_cast<long long>(idx) * sizeof(double);
    if (startPos >= 0 && at + static_cast<long long>(sizeof(double)) <= restored.Size())
      std::memcpy(restored.GetData() + at, &zero, sizeof zero);
  }
  return PlugBase::UnserializeState(restored, startPos);
}

CORVA_PLUG_BASE* MakePlug(const iplug::InstanceInfo& info) {
  static std::mutex constructionLock;
  std::lock_guard<std::mutex> lock(constructionLock);
  return new CorvaPlug(info);
}
