#pragma once
// A corva::Canvas that records every call, for checking what drawing code draws.
// Text is measured with a fixed width per UTF-8 character (not per byte), so fitting
// and layout can be checked without a real font.

#include <string>
#include <utility>
#include <vector>

#include "ui/canvas.h"

namespace corva::test {

struct CanvasCall {
  std::string op;           // the Canvas method name, e.g. "fillColor"
  std::vector<float> args;  // numeric arguments in order; a Color as r, g, b, a
  std::string text;         // the string argument of text, textBounds, fonts
  int intArg = 0;           // lineCap, lineJoin, textAlign, fontFaceId, image flags
  // State at the time of the call (meaningful for text and fills).
  int font = -1;
  float fontSize = 0;
  int align = 0;
  Color fill{0, 0, 0, 0};
  Color stroke{0, 0, 0, 0};
  float strokeWidth = 1;
  int depth = 0;  // save depth
};

class RecordingCanvas : public Canvas {
 public:
  std::vector<CanvasCall> calls;

  // Fake font metric: width of one UTF-8 character in canvas units.
  float glyphWidth = 10.0f;
  // Handles handed out by createFontMem / createImageMem; negative or zero to fail.
  int nextFont = 1;
  int nextImage = 1;
  bool failFonts = false;
  bool failImages = false;

  int saveDepth = 0;
  int maxSaveDepth = 0;
  bool restoreUnderflow = false;

  void clear() { calls.clear(); }

  int count(const std::string& op) const {
    int n = 0;
    for (const auto& c : calls) n += c.op == op;
    return n;
  }
  // The calls of one kind, in order.
  std::vector<CanvasCall> all(const std::string& op) const {
    std::vector<CanvasCall> out;
    for (const auto& c : calls)
      if (c.op == op) out.push_back(c);
    return out;
  }
  // The texts drawn, in order.
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const auto& c : calls)
      if (c.op == "text") out.push_back(c.text);
    return out;
  }
  // The first text call drawing exactly `s`, or null.
  const CanvasCall* findText(const std::string& s) const {
    for (const auto& c : calls)
      if (c.op == "text" && c.text == s) return &c;
    return nullptr;
  }

  static int utf8Length(const char* s, const char* end) {
    int n = 0;
    for (const char* p = s; end ? p < end : *p != 0; ++p) n += (static_cast<unsigned char>(*p) & 0xC0u) != 0x80u;
    return n;
  }

  void beginPath() override { add("beginPath"); }
  void closePath() override { add("closePath"); }
  void moveTo(float x, float y) override { add("moveTo", {x, y}); }
  void lineTo(float x, float y) override { add("lineTo", {x, y}); }
  void circle(float cx, float cy, float r) override { add("circle", {cx, cy, r}); }
  void rect(float x, float y, float w, float h) override { add("rect", {x, y, w, h}); }
  void roundedRect(float x, float y, float w, float h, float r) override { add("roundedRect", {x, y, w, h, r}); }
  void fillColor(const Color& c) override {
    state_.fill = c;
    add("fillColor", {c.r, c.g, c.b, c.a});
  }
  void fillImagePattern(const ImagePattern& p) override {
    auto& c = add("fillImagePattern", {p.x, p.y, p.w, p.h, p.angle, p.alpha});
    c.intArg = p.image;
  }
  void fillRadialGradient(float cx, float cy, float inner, float outer, const Color& a, const Color& b) override {
    add("fillRadialGradient", {cx, cy, inner, outer, a.r, a.g, a.b, a.a, b.r, b.g, b.b, b.a});
  }
  void fill() override { add("fill"); }
  void strokeColor(const Color& c) override {
    state_.stroke = c;
    add("strokeColor", {c.r, c.g, c.b, c.a});
  }
  void strokeWidth(float w) override {
    state_.strokeWidth = w;
    add("strokeWidth", {w});
  }
  void stroke() override { add("stroke"); }
  void lineCap(int cap) override { add("lineCap").intArg = cap; }
  void lineJoin(int join) override { add("lineJoin").intArg = join; }
  void save() override {
    add("save");
    ++saveDepth;
    if (saveDepth > maxSaveDepth) maxSaveDepth = saveDepth;
  }
  void restore() override {
    add("restore");
    if (saveDepth == 0) restoreUnderflow = true;
    else --saveDepth;
  }
  void translate(float x, float y) override { add("translate", {x, y}); }
  void rotate(float a) override { add("rotate", {a}); }
  void scale(float sx, float sy) override { add("scale", {sx, sy}); }
  int createImageMem(const unsigned char*, int size, int flags) override {
    auto& c = add("createImageMem", {static_cast<float>(size)});
    c.intArg = flags;
    return failImages ? 0 : nextImage++;
  }
  int createFontMem(const char* name, const unsigned char*, int size) override {
    auto& c = add("createFontMem", {static_cast<float>(size)});
    c.text = name ? name : "";
    return failFonts ? -1 : nextFont++;
  }
  void fontFace(const char* name) override { add("fontFace").text = name ? name : ""; }
  void fontFaceId(int font) override {
    state_.font = font;
    add("fontFaceId").intArg = font;
  }
  void fontSize(float size) override {
    state_.fontSize = size;
    add("fontSize", {size});
  }
  void textAlign(int align) override {
    state_.align = align;
    add("textAlign").intArg = align;
  }
  float text(float x, float y, const char* str, const char* end) override {
    auto& c = add("text", {x, y});
    c.text = end ? std::string(str, end) : std::string(str);
    return x + glyphWidth * static_cast<float>(utf8Length(str, end));
  }
  float textBounds(float x, float y, const char* str, const char* end, float* bounds) override {
    auto& c = add("textBounds", {x, y});
    c.text = end ? std::string(str, end) : std::string(str);
    const float w = glyphWidth * static_cast<float>(utf8Length(str, end));
    if (bounds) {
      bounds[0] = x;
      bounds[1] = y - state_.fontSize / 2;
      bounds[2] = x + w;
      bounds[3] = y + state_.fontSize / 2;
    }
    return w;
  }

 private:
  CanvasCall& add(const char* op, std::vector<float> args = {}) {
    CanvasCall c = state_;
    c.op = op;
    c.args = std::move(args);
    c.depth = saveDepth;
    calls.push_back(std::move(c));
    return calls.back();
  }
  CanvasCall state_;
};

}  // namespace corva::test
