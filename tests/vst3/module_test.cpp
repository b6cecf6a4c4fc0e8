// The built bundle as a host first meets it: its exports, its entry counting, its factory
// and the one class it describes.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/data_home.h"
#include "tests/vst3/test_host.h"

namespace {

using namespace Steinberg;
using corvatest::Instance;
using corvatest::Module;

// The instance made below reads the MIDI map from a data folder of this test's own.
const corva::test::ScopedDataHome dataHome;

TEST(Module, FactoryAndClassDescribeTheInstrument) {
  Module m(corvatest::ModulePath());
  ASSERT_TRUE(m.ok()) << m.error();

  PFactoryInfo f;
  ASSERT_EQ(m.factory()->getFactoryInfo(&f), kResultOk);
  EXPECT_STREQ(f.vendor, "Tembrix Audio");
  EXPECT_EQ(std::strncmp(f.url, "https://", 8), 0);
  EXPECT_STREQ(f.email, "");
  EXPECT_EQ(f.flags, 16);
  ASSERT_EQ(m.factory()->countClasses(), 1);

  FUnknownPtr<IPluginFactory2> f2(m.factory());
  ASSERT_TRUE(f2);
  PClassInfo2 c;
  std::memset(static_cast<void*>(&c), 0x55, sizeof c);
  ASSERT_EQ(f2->getClassInfo2(0, &c), kResultOk);
  // Hosts on this platform save the class ID as the hexadecimal text of its bytes; it must
  // read as on the platform whose IDs are COM-ordered.
  const unsigned char cid[16] = {0xF2, 0xAE, 0xE7, 0x0D, 0x00, 0xDE, 0x4F, 0x4E,
                                 'T',  'b',  'r',  'x',  'Q',  'v',  'C',  'r'};
  EXPECT_EQ(std::memcmp(c.cid, cid, 16), 0);
  char text[33] = {};
  FUID::fromTUID(c.cid).toString(text);
  EXPECT_STREQ(text, "F2AEE70D00DE4F4E5462727851764372");
  EXPECT_EQ(c.cardinality, 0x7FFFFFFF);
  EXPECT_STREQ(c.category, "Audio Module Class");
  EXPECT_STREQ(c.name, "Tembrix Audio Corva-1");
  EXPECT_EQ(c.classFlags, 2u);
  EXPECT_STREQ(c.subCategories, "Instrument|Synth");
  EXPECT_STREQ(c.vendor, "");
  EXPECT_STREQ(c.version, "0.5.9");
  EXPECT_STREQ(c.sdkVersion, "VST 3.8.1");
  // Fields are zero-filled past their text, never left with stale bytes.
  for (size_t i = std::strlen(c.name); i < sizeof c.name; ++i) ASSERT_EQ(c.name[i], 0);
  for (size_t i = std::strlen(c.sdkVersion); i < sizeof c.sdkVersion; ++i) ASSERT_EQ(c.sdkVersion[i], 0);

  PClassInfo c1;
  ASSERT_EQ(m.factory()->getClassInfo(0, &c1), kResultOk);
  EXPECT_EQ(std::memcmp(c1.cid, cid, 16), 0);
  EXPECT_NE(m.factory()->getClassInfo(1, &c1), kResultOk);

  // The same class in UTF-16, for hosts that ask the third version of the factory.
  FUnknownPtr<IPluginFactory3> f3(m.factory());
  ASSERT_TRUE(f3);
  PClassInfoW w;
  std::memset(static_cast<void*>(&w), 0x55, sizeof w);
  ASSERT_EQ(f3->getClassInfoUnicode(0, &w), kResultOk);
  EXPECT_EQ(std::memcmp(w.cid, cid, 16), 0);
  EXPECT_STREQ(w.category, "Audio Module Class");
  EXPECT_STREQ(w.subCategories, "Instrument|Synth");
  EXPECT_EQ(w.classFlags, 2u);
  const std::u16string name(reinterpret_cast<const char16_t*>(w.name));
  EXPECT_EQ(name, u"Tembrix Audio Corva-1");
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(w.sdkVersion)), u"VST 3.8.1");
  EXPECT_EQ(w.vendor[0], 0);
  for (size_t i = name.size(); i < PClassInfo::kNameSize; ++i) ASSERT_EQ(w.name[i], 0);
  EXPECT_NE(f3->getClassInfoUnicode(1, &w), kResultOk);

  void* obj = nullptr;
  const char wrong[16] = {1};
  EXPECT_NE(m.factory()->createInstance(wrong, Vst::IComponent::iid, &obj), kResultOk);
  EXPECT_EQ(obj, nullptr);
}

TEST(Module, EntryIsCountedAndFactoryIsShared) {
  Module m(corvatest::ModulePath());
  ASSERT_TRUE(m.ok()) << m.error();
  // The Module holds one entry; a nested load adds and removes another.
  EXPECT_TRUE(m.entry(nullptr));
  EXPECT_TRUE(m.exit());

  // Hosts asking from several threads at once all get the one live factory.
  std::vector<IPluginFactory*> got(8, nullptr);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < got.size(); ++i) threads.emplace_back([&, i] { got[i] = m.getFactory(); });
  for (auto& t : threads) t.join();
  for (IPluginFactory* f : got) {
    EXPECT_EQ(f, m.factory());
    f->release();
  }
  IPluginFactory* again = m.getFactory();
  EXPECT_EQ(again, m.factory());
  EXPECT_EQ(again->addRef(), 3u) << "the module's reference, ours, and this one";
  again->release();
  again->release();
}

TEST(Module, UnbalancedExitIsRefused) {
  Module m(corvatest::ModulePath());
  ASSERT_TRUE(m.ok()) << m.error();
  // Another module object of the same process may hold entries; balance ours only.
  int extra = 0;
  while (m.exit()) ++extra;
  EXPECT_FALSE(m.exit());
  for (int i = 0; i < extra; ++i) EXPECT_TRUE(m.entry(nullptr));
}

TEST(Module, FactoryComesBackAfterItsLastRelease) {
  Module m(corvatest::ModulePath());
  ASSERT_TRUE(m.ok()) << m.error();
  m.dropFactory();
  // That was the last reference: a later call builds a new factory and registers the
  // class again.
  IPluginFactory* fresh = m.getFactory();
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->countClasses(), 1);
  {
    Instance inst(fresh);
    EXPECT_TRUE(inst.ok());
  }
  fresh->release();
}

}  // namespace
