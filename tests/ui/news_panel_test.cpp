#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/ui/fake_host.h"
#include "tests/ui/recording_canvas.h"
#include "ui/news_panel.h"

namespace corva {
namespace {

using test::CanvasCall;

const float kFace[4] = {0, 0, 552, 430.08f};
const float kPanel[4] = {552, 0, 96, 430.08f};

bool sameColour(const Color& c, std::uint32_t rgb) {
  return c.r == float((rgb >> 16) & 255) / 255 && c.g == float((rgb >> 8) & 255) / 255 &&
         c.b == float(rgb & 255) / 255 && c.a == 1;
}

struct NewsPanel : ::testing::Test {
  test::FakeHost host;
  test::RecordingCanvas canvas;
  NewsView view;
  NewsRects rects = {};
  FontState font;

  void SetUp() override {
    std::snprintf(view.id, sizeof view.id, "update-0.6");
    view.pageCount = 1;
  }
  void segment(const std::string& text, const std::string& url = "") {
    NewsViewSegment& s = view.segments[view.segmentCount++];
    std::snprintf(s.text, sizeof s.text, "%s", text.c_str());
    std::snprintf(s.url, sizeof s.url, "%s", url.c_str());
    s.isLink = !url.empty();
  }
  void draw() {
    canvas.clear();
    drawNewsPanel(view, rects, font, canvas, kFace, kPanel);
  }
  bool press(float x, float y) { return pressNewsPanel(view, rects, host, x, y); }
};

TEST_F(NewsPanel, PressesOnCloseBoxLinkAndBody) {
  segment("Read ");
  segment("here", "https://example.org/notes");
  draw();
  EXPECT_EQ(canvas.all("createFontMem").at(0).text, "CorvaNews");
  EXPECT_EQ(rects[1][0], 12.8f + 50);
  EXPECT_EQ(rects[1][2], 40);
  EXPECT_TRUE(press(620, 10));  // the close box
  EXPECT_EQ(host.log, (std::vector<std::string>{"dismiss update-0.6"}));
  host.log.clear();
  EXPECT_TRUE(press(70, 25));  // the link: opens, nothing else changes
  EXPECT_EQ(host.log, (std::vector<std::string>{"open https://example.org/notes"}));
  EXPECT_FALSE(view.hasStatus);
  host.log.clear();
  EXPECT_TRUE(press(30, 25));      // plain text: the body swallows the press
  EXPECT_TRUE(press(102.8f, 25));  // the link's right edge lies outside it
  EXPECT_TRUE(host.log.empty());
  EXPECT_FALSE(press(30, 51.2f));  // below the panel
  EXPECT_EQ(hitTestNewsPanel(rects, 603.2f, 0).kind, 2u);

  host.openSucceeds = false;  // a link that cannot open shows its address instead
  EXPECT_TRUE(press(70, 25));
  EXPECT_EQ(host.log.back(), "redraw");
  EXPECT_STREQ(view.status, "https://example.org/notes");
  draw();
  EXPECT_EQ(canvas.texts(), (std::vector<std::string>{"https://example.org/notes"}));
  EXPECT_TRUE(sameColour(canvas.findText("https://example.org/notes")->fill, 0xC9BDB0));
  EXPECT_EQ(hitTestNewsPanel(rects, 70, 25).kind, 0u);
}

TEST_F(NewsPanel, PageCounterNarrowsTheText) {
  segment(std::string(60, 'x'));
  draw();
  EXPECT_EQ(canvas.count("text"), 1);
  view.pageCount = 3;
  draw();
  const CanvasCall* counter = canvas.findText("1/3");
  ASSERT_NE(counter, nullptr);
  EXPECT_EQ(counter->align, 4 | 16);
  EXPECT_FLOAT_EQ(counter->args[0], 593.6f);
  EXPECT_TRUE(sameColour(counter->fill, 0x3A3A3A));
  // 593.6 - 30 - 12.8 - 12.8 leaves room for 52 characters and the ellipsis.
  EXPECT_EQ(canvas.texts().at(1), std::string(52, 'x') + "\xE2\x80\xA6");
}

TEST_F(NewsPanel, LongTextsAreShortenedSafely) {
  // The longest texts the record holds: fitting them must stay inside its buffers.
  segment(std::string(95, 'a'), "https://example.org/");
  segment("never drawn", "https://example.org/2");
  draw();
  ASSERT_EQ(canvas.count("text"), 1);
  EXPECT_EQ(canvas.texts()[0], std::string(57, 'a') + "\xE2\x80\xA6");
  EXPECT_EQ(rects[0][2], 580);  // the underline and hit area cover the shortened text
  EXPECT_EQ(canvas.all("lineTo").back().args[0], 12.8f + 580);
  EXPECT_EQ(rects[1][2], 0);
  EXPECT_EQ(hitTestNewsPanel(rects, 620, 25).kind, 2u);

  view.hasStatus = 1;
  std::snprintf(view.status, sizeof view.status, "%s", std::string(159, 's').c_str());
  draw();
  EXPECT_EQ(canvas.texts(), (std::vector<std::string>{std::string(57, 's') + "\xE2\x80\xA6"}));
}

TEST_F(NewsPanel, StopsWhenTooLittleRoomAndColoursByKind) {
  view.alert = 1;
  segment(std::string(57, 'b'));  // leaves 10.8 units
  segment("c");
  draw();
  EXPECT_EQ(canvas.texts(), (std::vector<std::string>{std::string(57, 'b')}));
  EXPECT_TRUE(sameColour(canvas.findText(std::string(57, 'b'))->fill, 0xC9BDB0));
  view.alert = 0;
  draw();
  EXPECT_TRUE(sameColour(canvas.findText(std::string(57, 'b'))->fill, 0xA8A099));

  view.pageCount = 0;
  draw();
  EXPECT_TRUE(canvas.calls.empty());
  EXPECT_FALSE(press(30, 25));
}

}  // namespace
}  // namespace corva
