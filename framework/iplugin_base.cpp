#include "framework/iplugin_base.h"

#include <vector>

namespace iplug {

namespace {
const char* orEmpty(const char* s) { return s ? s : ""; }
}  // namespace

IPluginBase::IPluginBase(const Config& config)
    : IEditorDelegate(config.nParams),
      mPluginName(orEmpty(config.pluginName)),
      mVersion(config.vendorVersion),
      mUniqueID(config.uniqueID),
      mMfrID(config.mfrID),
      mPlugType(config.plugType),
      mDoesMIDIIn(config.plugDoesMidiIn),
      mHasUI(config.plugHasUI) {
  mHostResize = config.plugHostResize;
  SetEditorSize(config.plugWidth, config.plugHeight);
  SetSizeConstraints(config.plugMinWidth, config.plugMaxWidth, config.plugMinHeight, config.plugMaxHeight);
}

IPluginBase::~IPluginBase() = default;

void IPluginBase::OnParamChange(int paramIdx, EParamSource, int) { OnParamChange(paramIdx); }

void IPluginBase::OnParamReset(EParamSource source) {
  for (int i = 0; i < NParams(); ++i) {
    OnParamChange(i, source);
    OnParamChangeUI(i, source);
  }
}

bool IPluginBase::SerializeParams(IByteChunk& chunk) const {
  for (int i = 0; i < NParams(); ++i) {
    const double v = GetParam(i)->Value();
    chunk.Put(&v);
  }
  return true;
}

int IPluginBase::UnserializeParams(const IByteChunk& chunk, int startPos) {
  // Read everything first, so that a short chunk leaves every parameter as it was.
  std::vector<double> values(static_cast<std::size_t>(NParams()));
  int pos = startPos;
  for (double& v : values) {
    pos = chunk.Get(&v, pos);
    if (pos < 0) return -1;
  }
  for (int i = 0; i < NParams(); ++i) GetParam(i)->Set(values[static_cast<std::size_t>(i)]);
  OnParamReset(kPresetRecall);
  return pos;
}

int IPluginBase::GetPluginVersion(bool decimal) const {
  if (!decimal) return mVersion;
  const int major = (mVersion >> 16) & 0xFFFF;
  const int minor = (mVersion >> 8) & 0xFF;
  const int patch = mVersion & 0xFF;
  return major * 10000 + minor * 100 + patch;
}

void IPluginBase::SetHost(const char* host, int version) {
  mHostName = orEmpty(host);
  mHostVersion = version;
}

}  // namespace iplug
