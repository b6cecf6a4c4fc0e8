#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "model/param_table.h"
#include "model/value_map.h"
#include "resources/font.h"
#include "tests/ui/recording_canvas.h"
#include "ui/text_draw.h"

namespace corva {
namespace {

using test::RecordingCanvas;

TEST(DrawText, SetsFontSizeMiddleAlignmentAndOpaqueColour) {
  RecordingCanvas canvas;
  drawText(canvas, 3, 10, 20, "Hello", 14.08f, kAlignCenter, 0xFF8000);
  ASSERT_EQ(canvas.calls.size(), 5u);
  EXPECT_EQ(canvas.calls[0].op, "fontFaceId");
  EXPECT_EQ(canvas.calls[0].intArg, 3);
  EXPECT_FLOAT_EQ(canvas.calls[1].args[0], 14.08f);
  EXPECT_EQ(canvas.calls[2].intArg, 18);
  const auto& text = canvas.calls[4];
  EXPECT_EQ(text.op, "text");
  EXPECT_EQ(text.text, "Hello");
  EXPECT_FLOAT_EQ(text.fill.r, 1.0f);
  EXPECT_FLOAT_EQ(text.fill.g, 128.0f / 255.0f);
  EXPECT_FLOAT_EQ(text.fill.b, 0.0f);
  EXPECT_FLOAT_EQ(text.fill.a, 1.0f);

  // The top byte of the colour is not alpha: the text stays opaque and unchanged.
  RecordingCanvas other;
  drawText(other, 3, 10, 20, "Hello", 14.08f, kAlignCenter, 0x7FFF8000);
  EXPECT_FLOAT_EQ(other.calls[4].fill.r, text.fill.r);
  EXPECT_FLOAT_EQ(other.calls[4].fill.g, text.fill.g);
  EXPECT_FLOAT_EQ(other.calls[4].fill.b, text.fill.b);
  EXPECT_FLOAT_EQ(other.calls[4].fill.a, 1.0f);

  RecordingCanvas right;
  drawText(right, 0, 0, 0, "x", 10, kAlignRight, 0);
  EXPECT_EQ(right.calls[2].intArg, kAlignRight | kAlignMiddle);
}

TEST(DrawText, NegativeFontDrawsNothing) {
  RecordingCanvas canvas;
  drawText(canvas, -1, 0, 0, "x", 10, kAlignLeft, 0xFFFFFF);
  char buffer[16] = "too long";
  drawTextFitted(canvas, -1, buffer, 10, 1);
  EXPECT_TRUE(canvas.calls.empty());
  EXPECT_STREQ(buffer, "too long");
}

// A buffer holding exactly the text, its terminating zero and the spare bytes the
// fitting may use, on the heap so that the sanitizer build catches any write past it.
struct TightBuffer {
  explicit TightBuffer(const char* s) : size(std::strlen(s) + 1 + kFittedTextSpare), bytes(new char[size]) {
    std::memset(bytes.get(), '#', size);
    std::memcpy(bytes.get(), s, std::strlen(s) + 1);
  }
  std::size_t size;
  std::unique_ptr<char[]> bytes;
  char* get() { return bytes.get(); }
};

TEST(DrawTextFitted, LeavesTextsThatFitOrCannotShrinkUntouched) {
  RecordingCanvas canvas;  // 10 units per character
  TightBuffer fits("abcd");
  drawTextFitted(canvas, 1, fits.get(), 12, 40);
  EXPECT_EQ(std::memcmp(fits.get(), "abcd\0###", 8), 0);
  EXPECT_EQ(canvas.count("text"), 0);

  TightBuffer single("W");
  drawTextFitted(canvas, 1, single.get(), 12, 1);
  EXPECT_EQ(std::memcmp(single.get(), "W\0###", 5), 0);
}

TEST(DrawTextFitted, CutsWholeUtf8CharactersAndEndsWithEllipsis) {
  RecordingCanvas canvas;  // 10 units per character, the ellipsis counting as one
  TightBuffer accent("abc\xC3\xA9");
  drawTextFitted(canvas, 1, accent.get(), 12, 35);
  EXPECT_STREQ(accent.get(), "ab\xE2\x80\xA6");
  // The first cut removes the whole two-byte e-acute, never leaving a broken byte.
  const auto measured = canvas.all("textBounds");
  ASSERT_EQ(measured.size(), 3u);
  EXPECT_EQ(measured[0].text, "abc\xC3\xA9");
  EXPECT_EQ(measured[1].text, "abc\xE2\x80\xA6");
  EXPECT_EQ(measured[2].text, "ab\xE2\x80\xA6");

  TightBuffer narrow("Wide text");
  drawTextFitted(canvas, 1, narrow.get(), 12, 5);
  EXPECT_STREQ(narrow.get(), "W\xE2\x80\xA6");

  TightBuffer lone("\xC3\xA9");
  drawTextFitted(canvas, 1, lone.get(), 12, 5);
  EXPECT_STREQ(lone.get(), "\xE2\x80\xA6");

  // The measurement always selects the font and size before taking the bounds.
  const auto bounds = canvas.all("textBounds");
  ASSERT_FALSE(bounds.empty());
  for (const auto& b : bounds) {
    EXPECT_EQ(b.font, 1);
    EXPECT_FLOAT_EQ(b.fontSize, 12);
  }
}

TEST(DrawTextFitted, LongTextsStayInsideTheirBuffers) {
  RecordingCanvas canvas;
  std::string ascii(159, 'x');
  TightBuffer status(ascii.c_str());
  drawTextFitted(canvas, 1, status.get(), 17.92f, 100);
  EXPECT_STREQ(status.get(), "xxxxxxxxx\xE2\x80\xA6");

  std::string accents;
  for (int i = 0; i < 47; ++i) accents += "\xC3\xA9";
  accents += "z";  // 95 bytes
  TightBuffer segment(accents.c_str());
  drawTextFitted(canvas, 1, segment.get(), 17.92f, 0);
  // The cut never stops inside the first character: the ellipsis alone remains.
  EXPECT_STREQ(segment.get(), "\xE2\x80\xA6");
}

TEST(ValueMap, LinearAndLogarithmicMappingsMeetAtTheEnds) {
  const ParamSpec& volume = kParamTable[kVolume];
  const ParamSpec& time = kParamTable[kTime];
  EXPECT_FLOAT_EQ(toNormalised(volume, 0.25f), 0.25f);
  EXPECT_FLOAT_EQ(fromNormalised(volume, 0.85f), 0.85f);
  EXPECT_EQ(fromNormalised(time, 0.0f), 40.0f);
  EXPECT_EQ(fromNormalised(time, 1.0f), 800.0f);
  EXPECT_FLOAT_EQ(fromNormalised(time, 0.5f), 40.0f * std::sqrt(20.0f));
  EXPECT_FLOAT_EQ(toNormalised(time, 300.0f), std::log(7.5f) / std::log(20.0f));
  EXPECT_NEAR(fromNormalised(time, toNormalised(time, 300.0f)), 300.0f, 1e-3f);
  // No clamping: values outside the range map outside 0..1.
  EXPECT_LT(toNormalised(time, 20.0f), 0.0f);
}

TEST(EmbeddedFont, IsATrueTypeSubsetOfReasonableSize) {
  ASSERT_GT(kEmbeddedFontSize, 4000);
  EXPECT_LT(kEmbeddedFontSize, 40000);
  EXPECT_EQ(std::memcmp(kEmbeddedFont, "\x00\x01\x00\x00", 4), 0);
}

}  // namespace
}  // namespace corva
