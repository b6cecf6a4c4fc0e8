// The built bundle as a host first meets it: its exports, its entry counting, its factory
// and the one class it describes.

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "tests/plugin/data_home.h"
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
  const unsigned char cid[16] = {0x0D, 0xE7, 0xAE, 0xF2, 0xDE, 0x00, 0x4E, 0x4F,
                                 'T',  'b',  'r',  'x',  'Q',  'v',  'C',  'r'};
  EXPECT_EQ(std::memcmp(c.cid, cid, 16), 0);
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
