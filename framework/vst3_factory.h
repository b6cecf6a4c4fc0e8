#pragma once
// The module's plug-in factory: describes the module's vendor and classes to a VST3 host
// and creates instances of the registered classes. Reference counted; the module keeps one
// pointer to the live factory, which the factory clears when its last reference goes.

#include <atomic>
#include <vector>

#include "pluginterfaces/base/ipluginbase.h"

namespace iplug {

class VST3Factory : public Steinberg::IPluginFactory3 {
 public:
  using CreateFunc = Steinberg::FUnknown* (*)(void* context);

  // `keptPointer` (optional) is set to null when this factory is destroyed while it still
  // points here.
  VST3Factory(const Steinberg::PFactoryInfo& info, std::atomic<VST3Factory*>* keptPointer);
  VST3Factory(const VST3Factory&) = delete;
  VST3Factory& operator=(const VST3Factory&) = delete;

  [[nodiscard]] bool registerClass(const Steinberg::PClassInfo2* info, CreateFunc create, void* context);

  // Adds a reference unless the count already reached zero (the factory is being
  // destroyed); false then.
  [[nodiscard]] bool tryAddRef();

  // FUnknown
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  Steinberg::uint32 PLUGIN_API addRef() override;
  Steinberg::uint32 PLUGIN_API release() override;

  // IPluginFactory, IPluginFactory2, IPluginFactory3
  Steinberg::tresult PLUGIN_API getFactoryInfo(Steinberg::PFactoryInfo* info) override;
  Steinberg::int32 PLUGIN_API countClasses() override;
  Steinberg::tresult PLUGIN_API getClassInfo(Steinberg::int32 index, Steinberg::PClassInfo* info) override;
  Steinberg::tresult PLUGIN_API getClassInfo2(Steinberg::int32 index, Steinberg::PClassInfo2* info) override;
  Steinberg::tresult PLUGIN_API createInstance(Steinberg::FIDString cid, Steinberg::FIDString iid, void** obj) override;
  // The class description with its texts in UTF-16, as hosts that ask for it expect.
  Steinberg::tresult PLUGIN_API getClassInfoUnicode(Steinberg::int32 index, Steinberg::PClassInfoW* info) override;
  // The factory needs nothing from the host: the context is not kept.
  Steinberg::tresult PLUGIN_API setHostContext(Steinberg::FUnknown* context) override;

 private:
  virtual ~VST3Factory();

  struct Entry {
    Steinberg::PClassInfo2 info;
    CreateFunc create;
    void* context;
  };

  std::atomic<Steinberg::uint32> mRefCount{1};
  Steinberg::PFactoryInfo mInfo;
  std::vector<Entry> mClasses;
  // The class at index, or nullptr when index is out of range.
  const Steinberg::PClassInfo2* ClassAt(Steinberg::int32 index) const;
  std::atomic<VST3Factory*>* mKeptPointer;
};

// Copies `src` into a fixed char field of `size` bytes: stops at the terminating zero and
// fills the rest of the field with zero bytes.
void CopyField(char* dst, const char* src, int size);

}  // namespace iplug
