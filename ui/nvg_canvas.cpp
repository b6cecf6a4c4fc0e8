#include "ui/nvg_canvas.h"

#include <nanovg.h>

namespace corva {

namespace {
NVGcolor toNvg(const Color& c) { return nvgRGBAf(c.r, c.g, c.b, c.a); }
}  // namespace

void NvgCanvas::beginPath() { nvgBeginPath(vg); }
void NvgCanvas::closePath() { nvgClosePath(vg); }
void NvgCanvas::moveTo(float x, float y) { nvgMoveTo(vg, x, y); }
void NvgCanvas::lineTo(float x, float y) { nvgLineTo(vg, x, y); }
void NvgCanvas::circle(float cx, float cy, float r) { nvgCircle(vg, cx, cy, r); }
void NvgCanvas::rect(float x, float y, float w, float h) { nvgRect(vg, x, y, w, h); }
void NvgCanvas::roundedRect(float x, float y, float w, float h, float r) { nvgRoundedRect(vg, x, y, w, h, r); }
void NvgCanvas::fillColor(const Color& c) { nvgFillColor(vg, toNvg(c)); }

// The record keeps alpha before the image; NanoVG takes the image first.
void NvgCanvas::fillImagePattern(const ImagePattern& p) {
  nvgFillPaint(vg, nvgImagePattern(vg, p.x, p.y, p.w, p.h, p.angle, p.image, p.alpha));
}

void NvgCanvas::fillRadialGradient(float cx, float cy, float innerRadius, float outerRadius, const Color& inner,
                                   const Color& outer) {
  nvgFillPaint(vg, nvgRadialGradient(vg, cx, cy, innerRadius, outerRadius, toNvg(inner), toNvg(outer)));
}
void NvgCanvas::fill() { nvgFill(vg); }
void NvgCanvas::strokeColor(const Color& c) { nvgStrokeColor(vg, toNvg(c)); }
void NvgCanvas::strokeWidth(float width) { nvgStrokeWidth(vg, width); }
void NvgCanvas::stroke() { nvgStroke(vg); }
void NvgCanvas::lineCap(int cap) { nvgLineCap(vg, cap); }
void NvgCanvas::lineJoin(int join) { nvgLineJoin(vg, join); }
void NvgCanvas::save() { nvgSave(vg); }
void NvgCanvas::restore() { nvgRestore(vg); }
void NvgCanvas::translate(float x, float y) { nvgTranslate(vg, x, y); }
void NvgCanvas::rotate(float angle) { nvgRotate(vg, angle); }
void NvgCanvas::scale(float sx, float sy) { nvgScale(vg, sx, sy); }

// NanoVG takes (flags, data, size) and keeps its own decoded copy of the image.
int NvgCanvas::createImageMem(const unsigned char* data, int size, int flags) {
  return nvgCreateImageMem(vg, flags | imageFlags, const_cast<unsigned char*>(data), size);
}

// freeData 0: the font bytes stay the caller's and must outlive the context.
int NvgCanvas::createFontMem(const char* name, const unsigned char* data, int size) {
  return nvgCreateFontMem(vg, name, const_cast<unsigned char*>(data), size, 0);
}
void NvgCanvas::fontFace(const char* name) { nvgFontFace(vg, name); }
void NvgCanvas::fontFaceId(int font) { nvgFontFaceId(vg, font); }
void NvgCanvas::fontSize(float size) { nvgFontSize(vg, size); }
void NvgCanvas::textAlign(int align) { nvgTextAlign(vg, align); }
float NvgCanvas::text(float x, float y, const char* str, const char* end) { return nvgText(vg, x, y, str, end); }
float NvgCanvas::textBounds(float x, float y, const char* str, const char* end, float* bounds) {
  return nvgTextBounds(vg, x, y, str, end, bounds);
}

}  // namespace corva
