#pragma once
// corva::Canvas over a borrowed NanoVG context: every operation is one NanoVG call.
// Fonts and images created through it belong to the context and outlive the canvas.

#include "ui/canvas.h"

struct NVGcontext;

namespace corva {

class NvgCanvas final : public Canvas {
 public:
  explicit NvgCanvas(NVGcontext* context, int extraImageFlags = 0) : vg(context), imageFlags(extraImageFlags) {}

  void beginPath() override;
  void closePath() override;
  void moveTo(float x, float y) override;
  void lineTo(float x, float y) override;
  void circle(float cx, float cy, float r) override;
  void rect(float x, float y, float w, float h) override;
  void roundedRect(float x, float y, float w, float h, float r) override;
  void fillColor(const Color& c) override;
  void fillImagePattern(const ImagePattern& p) override;
  void fillRadialGradient(float cx, float cy, float innerRadius, float outerRadius, const Color& inner,
                          const Color& outer) override;
  void fill() override;
  void strokeColor(const Color& c) override;
  void strokeWidth(float width) override;
  void stroke() override;
  void lineCap(int cap) override;
  void lineJoin(int join) override;
  void save() override;
  void restore() override;
  void translate(float x, float y) override;
  void rotate(float angle) override;
  void scale(float sx, float sy) override;
  int createImageMem(const unsigned char* data, int size, int flags) override;
  int createFontMem(const char* name, const unsigned char* data, int size) override;
  void fontFace(const char* name) override;
  void fontFaceId(int font) override;
  void fontSize(float size) override;
  void textAlign(int align) override;
  float text(float x, float y, const char* str, const char* end) override;
  float textBounds(float x, float y, const char* str, const char* end, float* bounds) override;

  NVGcontext* vg;  // borrowed: never created, freed or reset here
  int imageFlags;  // NanoVG image flags added to every createImageMem
};

}  // namespace corva
