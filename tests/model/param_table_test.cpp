#include "model/param_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

using corva::kNumParams;
using corva::kParamTable;

TEST(ParamTable, KeysAreUniqueAndInOrder) {
  const char* expected[] = {"tone",       "mode", "speed",  "volume", "toneBtn",  "corvaBtn", "trigger", "hold",
                            "oversample", "vcc",  "reverb", "echo",   "feedback", "time",     "ledLevel"};
  std::set<std::string> seen;
  for (int i = 0; i < kNumParams; ++i) {
    EXPECT_STREQ(kParamTable[i].key, expected[i]);
    EXPECT_TRUE(seen.insert(kParamTable[i].key).second);
  }
}

TEST(ParamTable, RowsAreConsistent) {
  for (int i = 0; i < kNumParams; ++i) {
    const auto& p = kParamTable[i];
    SCOPED_TRACE(p.key);
    EXPECT_LE(p.minValue, p.defaultValue);
    EXPECT_LE(p.defaultValue, p.maxValue);
    EXPECT_EQ(p.isEnum != 0, p.enumCount > 0);
    EXPECT_EQ(p.enumLabels != nullptr, p.enumCount > 0);
    // Flags that only double-valued rows honour never appear on stepped rows.
    if (p.isEnum || p.isBool) {
      EXPECT_FALSE(p.cannotAutomate);
      EXPECT_FALSE(p.isLog);
    }
  }
  EXPECT_TRUE(kParamTable[corva::kLedLevel].cannotAutomate);
  EXPECT_TRUE(kParamTable[corva::kTime].isLog);
  // The single-precision defaults widen to these doubles.
  EXPECT_EQ(static_cast<double>(kParamTable[corva::kVcc].defaultValue), 12.199999809265137);
  EXPECT_EQ(static_cast<double>(kParamTable[corva::kFeedback].defaultValue), 0.3499999940395355);
}

}  // namespace
