// The module's exported entry points: ModuleEntry/ModuleExit (counted, so that nested
// loads initialise once) and GetPluginFactory with the one class the module offers.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "framework/vst3_factory.h"
#include "framework/vst3_module.h"
#include "plugin/plug_config.h"
#include "pluginterfaces/base/funknown.h"
#include "vst3/create_instance.h"

#define CORVA_EXPORT extern "C" __attribute__((visibility("default")))

namespace corva {
namespace {

using Steinberg::PClassInfo2;
using Steinberg::PFactoryInfo;

constexpr std::uint32_t FourCC(const char (&s)[5]) {
  return (std::uint32_t(std::uint8_t(s[0])) << 24) | (std::uint32_t(std::uint8_t(s[1])) << 16) |
         (std::uint32_t(std::uint8_t(s[2])) << 8) | std::uint32_t(std::uint8_t(s[3]));
}

constexpr std::uint32_t kClassWord1 = 0xF2AEE70D;
constexpr std::uint32_t kClassWord2 = 0x00DE4F4E;
constexpr std::uint32_t kMfrCode = FourCC("Tbrx");
constexpr std::uint32_t kPlugCode = FourCC("QvCr");

// The class ID as the SDK builds it from its four words on this platform: the words in
// big-endian order. Hosts save the ID as the text of these bytes, so this gives the same
// text (F2AEE70D00DE4F4E5462727851764372) as the build whose IDs are COM-ordered, and
// projects and presets saved on either find the instrument.
void ClassIdBytes(Steinberg::TUID out) { Steinberg::FUID(kClassWord1, kClassWord2, kMfrCode, kPlugCode).toTUID(out); }

PFactoryInfo MakeFactoryInfo() {
  PFactoryInfo info;
  iplug::CopyField(info.vendor, "Tembrix Audio", PFactoryInfo::kNameSize);
  iplug::CopyField(info.url, (std::string("https://") + kMfrHost).c_str(), PFactoryInfo::kURLSize);
  iplug::CopyField(info.email, "", PFactoryInfo::kEmailSize);
  info.flags = PFactoryInfo::kUnicode;
  return info;
}

const PClassInfo2& ClassInfo() {
  static const PClassInfo2 info = [] {
    PClassInfo2 c;
    ClassIdBytes(c.cid);
    c.cardinality = Steinberg::PClassInfo::kManyInstances;
    iplug::CopyField(c.category, "Audio Module Class", Steinberg::PClassInfo::kCategorySize);
    iplug::CopyField(c.name, corva::kPlugName, Steinberg::PClassInfo::kNameSize);
    c.classFlags = 2;  // simple mode supported
    iplug::CopyField(c.subCategories, "Instrument|Synth", PClassInfo2::kSubCategoriesSize);
    iplug::CopyField(c.vendor, "", PClassInfo2::kVendorSize);
    iplug::CopyField(c.version, corva::kVersionText, PClassInfo2::kVersionSize);
    iplug::CopyField(c.sdkVersion, "VST 3.8.1", PClassInfo2::kVersionSize);
    return c;
  }();
  return info;
}

std::atomic<iplug::VST3Factory*> gFactory{nullptr};
std::mutex gFactoryMutex;

std::mutex gEntryMutex;
int gEntryCount = 0;

}  // namespace
}  // namespace corva

CORVA_EXPORT bool ModuleEntry(void* sharedLibraryHandle) {
  std::lock_guard<std::mutex> lock(corva::gEntryMutex);
  if (++corva::gEntryCount == 1) iplug::SetModuleHandle(sharedLibraryHandle);
  return true;
}

CORVA_EXPORT bool ModuleExit() {
  std::lock_guard<std::mutex> lock(corva::gEntryMutex);
  // An exit without a matching entry is refused rather than counted below zero.
  if (corva::gEntryCount == 0) return false;
  --corva::gEntryCount;
  return true;
}

CORVA_EXPORT Steinberg::IPluginFactory* PLUGIN_API GetPluginFactory() {
  using namespace corva;
  // Test and create under one lock, so that hosts calling from several threads at once all
  // get the same factory; a factory whose last reference is going is replaced, not revived.
  std::lock_guard<std::mutex> lock(gFactoryMutex);
  iplug::VST3Factory* f = gFactory.load();
  if (f && f->tryAddRef()) return f;
  f = new iplug::VST3Factory(MakeFactoryInfo(), &gFactory);
  (void)f->registerClass(&ClassInfo(), &CreatePluginInstance, nullptr);  // refused only for null arguments
  gFactory.store(f);
  return f;
}
