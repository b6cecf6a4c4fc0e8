#include "framework/vst3_factory.h"

#include <cstring>

namespace iplug {

using namespace Steinberg;

void CopyField(char* dst, const char* src, int size) {
  int i = 0;
  for (; src && i < size && src[i] != 0; ++i) dst[i] = src[i];
  for (; i < size; ++i) dst[i] = 0;
}

namespace {
// Copies a text field of `size` bytes into a UTF-16 field of the same length. The texts
// are ASCII; a byte outside it becomes '?' rather than half a character. The result is
// always terminated and zero-filled.
void Widen(char16* dst, const char* src, int size) {
  int i = 0;
  for (; i < size - 1 && src[i] != 0; ++i) {
    const auto c = static_cast<unsigned char>(src[i]);
    dst[i] = static_cast<char16>(c < 0x80 ? c : '?');
  }
  for (; i < size; ++i) dst[i] = 0;
}
}  // namespace

VST3Factory::VST3Factory(const PFactoryInfo& info, std::atomic<VST3Factory*>* keptPointer)
    : mInfo(info), mKeptPointer(keptPointer) {}

VST3Factory::~VST3Factory() {
  if (mKeptPointer) {
    VST3Factory* self = this;
    mKeptPointer->compare_exchange_strong(self, nullptr);
  }
}

bool VST3Factory::registerClass(const PClassInfo2* info, CreateFunc create, void* context) {
  if (!info || !create) return false;
  mClasses.push_back(Entry{*info, create, context});
  return true;
}

bool VST3Factory::tryAddRef() {
  uint32 n = mRefCount.load();
  while (n != 0) {
    if (mRefCount.compare_exchange_weak(n, n + 1)) return true;
  }
  return false;
}

tresult PLUGIN_API VST3Factory::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  if (FUnknownPrivate::iidEqual(iid, IPluginFactory3::iid) || FUnknownPrivate::iidEqual(iid, IPluginFactory2::iid) ||
      FUnknownPrivate::iidEqual(iid, IPluginFactory::iid) || FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
    addRef();
    *obj = this;
    return kResultOk;
  }
  *obj = nullptr;
  return kNoInterface;
}

uint32 PLUGIN_API VST3Factory::addRef() { return ++mRefCount; }

uint32 PLUGIN_API VST3Factory::release() {
  const uint32 n = --mRefCount;
  if (n == 0) delete this;
  return n;
}

tresult PLUGIN_API VST3Factory::getFactoryInfo(PFactoryInfo* info) {
  if (!info) return kInvalidArgument;
  std::memcpy(info, &mInfo, sizeof(PFactoryInfo));
  return kResultOk;
}

const PClassInfo2* VST3Factory::ClassAt(int32 index) const {
  if (index < 0 || static_cast<size_t>(index) >= mClasses.size()) return nullptr;
  return &mClasses[static_cast<size_t>(index)].info;
}

int32 PLUGIN_API VST3Factory::countClasses() { return static_cast<int32>(mClasses.size()); }

tresult PLUGIN_API VST3Factory::getClassInfo(int32 index, PClassInfo* info) {
  const PClassInfo2* found = ClassAt(index);
  if (!info || !found) return kInvalidArgument;
  const PClassInfo2& src = *found;
  std::memcpy(info->cid, src.cid, sizeof(TUID));
  info->cardinality = src.cardinality;
  CopyField(info->category, src.category, PClassInfo::kCategorySize);
  CopyField(info->name, src.name, PClassInfo::kNameSize);
  return kResultOk;
}

tresult PLUGIN_API VST3Factory::getClassInfo2(int32 index, PClassInfo2* info) {
  const PClassInfo2* found = ClassAt(index);
  if (!info || !found) return kInvalidArgument;
  std::memcpy(info, found, sizeof(PClassInfo2));
  return kResultOk;
}

tresult PLUGIN_API VST3Factory::getClassInfoUnicode(int32 index, PClassInfoW* info) {
  const PClassInfo2* found = ClassAt(index);
  if (!info || !found) return kInvalidArgument;
  const PClassInfo2& src = *found;
  *info = PClassInfoW();
  std::memcpy(info->cid, src.cid, sizeof(TUID));
  info->cardinality = src.cardinality;
  CopyField(info->category, src.category, PClassInfo::kCategorySize);
  Widen(info->name, src.name, PClassInfo::kNameSize);
  info->classFlags = src.classFlags;
  CopyField(info->subCategories, src.subCategories, PClassInfoW::kSubCategoriesSize);
  Widen(info->vendor, src.vendor, PClassInfoW::kVendorSize);
  Widen(info->version, src.version, PClassInfoW::kVersionSize);
  Widen(info->sdkVersion, src.sdkVersion, PClassInfoW::kVersionSize);
  return kResultOk;
}

tresult PLUGIN_API VST3Factory::setHostContext(FUnknown*) { return kNotImplemented; }

tresult PLUGIN_API VST3Factory::createInstance(FIDString cid, FIDString iid, void** obj) {
  if (!obj) return kInvalidArgument;
  *obj = nullptr;
  if (!cid || !iid) return kInvalidArgument;
  for (const Entry& e : mClasses) {
    if (!FUnknownPrivate::iidEqual(e.info.cid, cid)) continue;
    FUnknown* instance = e.create(e.context);
    if (!instance) return kOutOfMemory;
    // The create function hands over one reference; the caller gets its own through
    // queryInterface, so ours is dropped either way.
    const tresult r = instance->queryInterface(iid, obj);
    instance->release();
    if (r != kResultOk) {
      *obj = nullptr;
      return kNoInterface;
    }
    return kResultOk;
  }
  return kNoInterface;
}

}  // namespace iplug
