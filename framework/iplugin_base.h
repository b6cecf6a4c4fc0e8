#pragma once
// What every plug-in holds whatever wrapper carries it: its description, its
// parameters (through the editor delegate), the parameter change handlers and the
// saved state, which is every parameter value as a double in parameter order.

#include <string>

#include "framework/config.h"
#include "framework/ibyte_chunk.h"
#include "framework/ieditor_delegate.h"

namespace iplug {

class IPluginBase : public IEditorDelegate {
 public:
  explicit IPluginBase(const Config& config);
  ~IPluginBase() override;

  // A parameter changed, whatever the source. The three-argument form is what wrappers
  // call; it forwards to the one-argument form that plug-ins usually override.
  virtual void OnParamChange(int paramIdx, EParamSource source, int sampleOffset = -1);
  virtual void OnParamChange(int /*paramIdx*/) {}
  // Runs each parameter's change handlers once, as after a reset or a state restore.
  void OnParamReset(EParamSource source);

  // Saved state. The state is the parameters' serialisation unless a plug-in adds to it.
  [[nodiscard]] bool SerializeParams(IByteChunk& chunk) const;
  // Reads every parameter from `startPos` and returns the position after them, or -1
  // when the chunk is too short, in which case no parameter changes.
  int UnserializeParams(const IByteChunk& chunk, int startPos);
  [[nodiscard]] virtual bool SerializeState(IByteChunk& chunk) const { return SerializeParams(chunk); }
  virtual int UnserializeState(const IByteChunk& chunk, int startPos) { return UnserializeParams(chunk, startPos); }

  const char* GetPluginName() const { return mPluginName.c_str(); }
  // The version as its encoded integer, or as major*10000 + minor*100 + patch.
  int GetPluginVersion(bool decimal) const;
  int GetUniqueID() const { return mUniqueID; }
  int GetMfrID() const { return mMfrID; }
  bool IsInstrument() const { return mPlugType == kPlugTypeInstrument; }
  bool DoesMIDIIn() const { return mDoesMIDIIn; }
  bool HasUI() const { return mHasUI; }

  void SetHost(const char* host, int version);

 private:
  std::string mPluginName;
  std::string mHostName;
  int mHostVersion = 0;
  int mVersion;
  int mUniqueID;
  int mMfrID;
  int mPlugType;
  bool mDoesMIDIIn;
  bool mHasUI;
};

}  // namespace iplug
