// The module's exported entry points: ModuleEntry/ModuleExit (counted, so that nested
// loads initialise once) and GetPluginFactory with the one class the module offers.

#include <atomic>
#include <cstdint>
#include <mutex>

#include "framework/vst3_factory.h"
#include "framework/vst3_module.h"
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

// The class ID's 16 bytes, laid out as COM-compatible class IDs are: the first word
// little-endian, the second as two swapped 16-bit halves, the codes big-endian. Hosts
// store this ID in projects, so it is the same on every platform.
void ClassIdBytes(Steinberg::TUID out) {
  const std::uint32_t w1 = kClassWord1, w2 = kClassWord2;
  const std::uint8_t bytes[16] = {
      std::uint8_t(w1), std::uint8_t(w1 >> 8), std::uint8_t(w1 >> 16), std::uint8_t(w1 >> 24),
      std::uint8_t(w2 >> 16), std::uint8_t(w2 >> 24), std::uint8_t(w2), std::uint8_t(w2 >> 8),
      std::uint8_t(kMfrCode >> 24), std::uint8_t(kMfrCode >> 16), std::uint8_t(kMfrCode >> 8),
      std::uint8_t(kMfrCode), std::uint8_t(kPlugCode >> 24), std::uint8_t(kPlugCode >> 16),
      std::uint8_t(kPlugCode >> 8), std::uint8_t(kPlugCode)};
  for (int i = 0; i < 16; ++i) out[i] = static_cast<char>(bytes[i]);
}

PFactoryInfo MakeFactoryInfo() {
  PFactoryInfo info;
  iplug::CopyField(info.vendor, "Tembrix Audio", PFactoryInfo::kNameSize);
  iplug::CopyField(info.url, "https://www.tembrix.audio", PFactoryInfo::kURLSize);
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
    iplug::CopyField(c.name, "Tembrix Audio Corva-1", Steinberg::PClassInfo::kNameSize);
    c.classFlags = 2;  // simple mode supported
    iplug::CopyField(c.subCategories, "Instrument|Synth", PClassInfo2::kSubCategoriesSize);
    iplug::CopyField(c.vendor, "", PClassInfo2::kVendorSize);
    iplug::CopyField(c.version, "0.5.9", PClassInfo2::kVersionSize);
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
  f->registerClass(&ClassInfo(), &CreatePluginInstance, nullptr);
  gFactory.store(f);
  return f;
}
