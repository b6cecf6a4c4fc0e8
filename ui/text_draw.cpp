#include "ui/text_draw.h"

#include <cstring>

#include "resources/font.h"
#include "ui/colour.h"

namespace corva {

void createEmbeddedFont(FontState& font, Canvas& canvas, const char* name) {
  if (font.created) return;
  font.handle = canvas.createFontMem(name, kEmbeddedFont, kEmbeddedFontSize);
  font.created = true;
}

void drawText(Canvas& canvas, int font, float x, float y, const char* text, float size, int align, std::uint32_t rgb) {
  if (font < 0) return;
  canvas.fontFaceId(font);
  canvas.fontSize(size);
  canvas.textAlign(align | kAlignMiddle);
  canvas.fillColor(colourFromRgb(rgb));
  canvas.text(x, y, text, nullptr);
}

float measureText(Canvas& canvas, int font, float size, const char* text) {
  if (font < 0) return 0.0f;
  canvas.fontFaceId(font);
  canvas.fontSize(size);
  float bounds[4] = {0, 0, 0, 0};
  canvas.textBounds(0, 0, text, nullptr, bounds);
  return bounds[2] - bounds[0];
}

namespace {

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0u) == 0x80u; }

}  // namespace

void drawTextFitted(Canvas& canvas, int font, char* text, float size, float maxWidth) {
  if (font < 0) return;
  if (maxWidth >= measureText(canvas, font, size, text)) return;
  const std::size_t n = std::strlen(text);
  if (n <= 1) return;

  // The ellipsis U+2026 and the terminating zero, stored in one go.
  static const char kEllipsis[4] = {'\xE2', '\x80', '\xA6', '\0'};
  std::size_t c = n;
  for (;;) {
    --c;
    while (c > 0 && isContinuationByte(text[c])) --c;
    std::memcpy(text + c, kEllipsis, sizeof kEllipsis);
    if (maxWidth >= measureText(canvas, font, size, text) || c <= 1) return;
  }
}

}  // namespace corva
