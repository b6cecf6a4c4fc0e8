#include "ui/news_panel.h"

#include <cstdio>
#include <cstring>

#include "model/host.h"
#include "ui/colour.h"
#include "ui/text_draw.h"

namespace corva {
namespace {

constexpr float kPanelHeight = 51.2f;
constexpr float kCloseWidth = 38.4f;
constexpr float kCloseGap = 6.4f;
constexpr float kCrossHalf = 7.68f;
constexpr float kCrossWidth = 1.92f;
constexpr float kCentreLine = 25.6f;
constexpr float kTextMargin = 12.8f;
constexpr float kTextCloseGap = 9.6f;
constexpr float kCounterGap = 12.8f;
constexpr float kLeastRoom = 19.2f;
constexpr float kUnderlineDrop = 8.064f;
constexpr float kTextSize = 17.92f;

constexpr std::uint32_t kBackground = 0x1C1C1C;
constexpr std::uint32_t kCross = 0xA8A099;
constexpr std::uint32_t kInfoText = 0xA8A099;
constexpr std::uint32_t kBrightText = 0xC9BDB0;  // alerts, links, the status line
constexpr std::uint32_t kCounter = 0x3A3A3A;

// Fitting a text may write its ellipsis past the text's terminating zero, so every
// buffer handed to it has that many spare bytes beyond the longest text it can hold.
constexpr std::size_t kFitSpare = kFittedTextSpare;

void setRect(float rect[4], float x, float y, float w, float h) {
  rect[0] = x;
  rect[1] = y;
  rect[2] = w;
  rect[3] = h;
}

void drawStatusLine(const NewsView& view, int font, Canvas& canvas, float x, float cy, float right) {
  char line[sizeof view.status + kFitSpare];
  std::snprintf(line, sizeof view.status, "%s", view.status);
  drawTextFitted(canvas, font, line, kTextSize, right - x);
  drawText(canvas, font, x, cy, line, kTextSize, kAlignLeft, kBrightText);
}

void drawSegments(const NewsView& view, NewsRects& rects, int font, Canvas& canvas, float x, float top, float cy,
                  float right) {
  const std::uint32_t textColour = view.alert ? kBrightText : kInfoText;
  for (int i = 0; i < view.segmentCount && i < 8; ++i) {
    const NewsViewSegment& segment = view.segments[i];
    char buffer[sizeof segment.text + kFitSpare];
    std::snprintf(buffer, sizeof segment.text, "%s", segment.text);
    const float room = right - x;
    if (room <= kLeastRoom) return;
    const bool cut = measureText(canvas, font, kTextSize, buffer) > room;
    drawTextFitted(canvas, font, buffer, kTextSize, room);
    const float w = measureText(canvas, font, kTextSize, buffer);
    drawText(canvas, font, x, cy, buffer, kTextSize, kAlignLeft, segment.isLink ? kBrightText : textColour);
    if (segment.isLink) {
      canvas.beginPath();
      canvas.moveTo(x, cy + kUnderlineDrop);
      canvas.lineTo(x + w, cy + kUnderlineDrop);
      canvas.strokeColor(colourFromRgb(kBrightText));
      canvas.strokeWidth(1.0f);
      canvas.stroke();
      setRect(rects[i], x, top, w, kPanelHeight);
    }
    if (cut) return;  // nothing follows a shortened segment
    float bounds[4];
    const float advance = font >= 0 ? canvas.textBounds(0, 0, buffer, nullptr, bounds) : 0.0f;
    x += advance;
  }
}

}  // namespace

bool newsRectContains(const float rect[4], float x, float y) {
  return rect[2] > 0 && rect[3] > 0 && x >= rect[0] && x < rect[0] + rect[2] && y >= rect[1] && y < rect[1] + rect[3];
}

void drawNewsPanel(const NewsView& view, NewsRects& rects, FontState& font, Canvas& canvas, const float face[4],
                   const float effectsPanel[4]) {
  std::memset(rects, 0, sizeof rects);
  if (view.pageCount <= 0) return;
  createEmbeddedFont(font, canvas, "CorvaNews");
  const float left = face[0], top = face[1], width = face[2] + effectsPanel[2];

  setRect(rects[kNewsPanelRect], left, top, width, kPanelHeight);
  canvas.beginPath();
  canvas.rect(left, top, width, kPanelHeight);
  canvas.fillColor(colourFromRgb(kBackground));
  canvas.fill();

  const float closeX = left + width - kCloseWidth - kCloseGap;
  setRect(rects[kNewsCloseRect], closeX, top, kCloseWidth, kPanelHeight);
  const float cx = closeX + kCloseWidth / 2.0f, cy = top + kCentreLine;
  canvas.beginPath();
  canvas.moveTo(cx - kCrossHalf, cy - kCrossHalf);
  canvas.lineTo(cx + kCrossHalf, cy + kCrossHalf);
  canvas.moveTo(cx - kCrossHalf, cy + kCrossHalf);
  canvas.lineTo(cx + kCrossHalf, cy - kCrossHalf);
  canvas.strokeColor(colourFromRgb(kCross));
  canvas.strokeWidth(kCrossWidth);
  canvas.stroke();

  float right = closeX - kTextCloseGap;
  if (view.pageCount > 1) {
    char label[32];
    std::snprintf(label, sizeof label, "%d/%d", view.page + 1, view.pageCount);
    drawText(canvas, font.handle, right, cy, label, kTextSize, kAlignRight, kCounter);
    right -= measureText(canvas, font.handle, kTextSize, label) + kCounterGap;
  }
  const float x = left + kTextMargin;
  if (view.hasStatus) {
    drawStatusLine(view, font.handle, canvas, x, cy, right);
  } else {
    drawSegments(view, rects, font.handle, canvas, x, top, cy, right);
  }
}

NewsPanelHit hitTestNewsPanel(const NewsRects& rects, float x, float y) {
  if (newsRectContains(rects[kNewsCloseRect], x, y)) return NewsPanelHit{2, -1};
  for (int i = 0; i < 8; ++i) {
    if (newsRectContains(rects[i], x, y)) return NewsPanelHit{1, i};
  }
  return NewsPanelHit{};
}

bool pressNewsPanel(NewsView& view, const NewsRects& rects, Host& host, float x, float y) {
  const NewsPanelHit hit = hitTestNewsPanel(rects, x, y);
  if (hit.kind == 2) {
    // The host republishes the view while it dismisses, so hand it a copy of the id.
    char id[sizeof view.id];
    std::snprintf(id, sizeof id, "%s", view.id);
    host.dismissNotice(id);
    return true;
  }
  if (hit.kind == 1) {
    char url[sizeof view.segments[0].url];
    std::snprintf(url, sizeof url, "%s", view.segments[hit.index].url);
    if (!host.openUrl(url)) {
      std::snprintf(view.status, sizeof view.status, "%s", url);
      view.hasStatus = 1;
      host.redraw();
    }
    return true;
  }
  return newsRectContains(rects[kNewsPanelRect], x, y);
}

}  // namespace corva
