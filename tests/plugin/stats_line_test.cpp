#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "plugin/corva_plug.h"
#include "plugin/stats_line.h"
#include "tests/plugin/plug_instance.h"
#include "tests/support/data_home.h"

namespace {

using namespace corva;

// Set before main, so the process-wide switch sees it on the first block. An empty
// value counts as set.
const bool kLogSet = (setenv("CORVA_LOG", "", 1), true);

// The instance reads the MIDI map from a data folder of this test's own.
const test::ScopedDataHome dataHome;

TEST(StatsLine, Format) {
  CircuitEngine e;
  e.worstUsed = 812;
  e.budgetStart = 900;
  e.exhaustedBlocks = 3;
  e.blockCount = 690;
  e.lateBlocks = 1;
  e.worstLoad = 0.4567;
  e.refinementOn = 1;
  e.costPerEvaluation = 2e-7f;
  e.measuredCost = 1.2345e-7f;
  e.c4Volts = 3.14159f;
  e.squareVolts = -1.5f;
  char line[512];
  const int n = formatStatsLine(line, sizeof line, e, 2, 3, 0);
  const std::string expected =
      "[corva] pire travail 812/900  blocs rognes 3/690  en retard 1 (pire 46% de l'echeance)  "
      "raffinement=1 cout=0.20us (mesure 0.12us)  mode=2 speed=3 tone=0  C4=3.14 V  carre=-1.50 V\n";
  EXPECT_EQ(std::string(line), expected);
  EXPECT_EQ(n, static_cast<int>(expected.size()));
  char small[16];
  EXPECT_EQ(formatStatsLine(small, sizeof small, e, 0, 0, 0), 15);
}

TEST(StatsLine, OneLineEvery690thBlockAt44100) {
  ASSERT_TRUE(kLogSet);
  const auto plug = test::makeIdlePlug();
  EXPECT_TRUE(plug->SetSampleRate(44100.0));
  float l[64], r[64];
  float* outs[] = {l, r};
  for (int round = 0; round < 2; ++round) {
    testing::internal::CaptureStderr();
    for (int b = 0; b < 689; ++b) plug->ProcessBlock(nullptr, outs, 64);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(plug->logFrames, 689u * 64u);

    plug->engine.blockCount = 5;
    plug->engine.worstUsed = 7;
    plug->engine.budgetStart = 77;
    plug->engine.measuredCost = 1e-6f;
    testing::internal::CaptureStderr();
    plug->ProcessBlock(nullptr, outs, 64);
    const std::string out = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out.rfind("[corva] pire travail 7/77  blocs rognes 0/5", 0), 0u) << out;
    EXPECT_NE(out.find("mode=0 speed=1 tone=1"), std::string::npos) << out;
    EXPECT_EQ(out.find('\n'), out.size() - 1);
    // The rest of the frames is not carried over; the statistics start again.
    EXPECT_EQ(plug->logFrames, 0u);
    EXPECT_EQ(plug->engine.blockCount, 0);
    EXPECT_EQ(plug->engine.worstUsed, 0);
    EXPECT_EQ(plug->engine.measuredCost, 2e-7f);
    EXPECT_EQ(plug->engine.budgetStart, 77);
  }
}

}  // namespace
