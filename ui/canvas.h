#pragma once
// The drawing vocabulary of all of the instrument's own drawing: paths, fills,
// strokes, the transform stack, images and fonts from memory, and text. Each
// operation corresponds to one NanoVG call; the NanoVG canvas forwards them.

namespace corva {

// Which part of the interface a drawing paints: all of it; only what stays as it is while
// the window keeps its size (the backgrounds and the face's print); or all the rest, over
// a copy of that still part.
enum class UiLayer { kAll, kStill, kChanging };

struct Color {
  float r, g, b, a;
};

struct ImagePattern {
  float x, y;   // top-left corner of one image tile
  float w, h;   // drawn size of the tile
  float angle;  // rotation in radians
  float alpha;  // 0..1, multiplies the image
  int image;    // handle from createImageMem
};

class Canvas {
 public:
  virtual ~Canvas() = default;
  virtual void beginPath() = 0;
  virtual void closePath() = 0;
  virtual void moveTo(float x, float y) = 0;
  virtual void lineTo(float x, float y) = 0;
  virtual void circle(float cx, float cy, float r) = 0;
  virtual void rect(float x, float y, float w, float h) = 0;
  virtual void roundedRect(float x, float y, float w, float h, float r) = 0;
  virtual void fillColor(const Color& c) = 0;
  virtual void fillImagePattern(const ImagePattern& p) = 0;
  virtual void fillRadialGradient(float cx, float cy, float innerRadius, float outerRadius, const Color& inner,
                                  const Color& outer) = 0;
  virtual void fill() = 0;
  virtual void strokeColor(const Color& c) = 0;
  virtual void strokeWidth(float width) = 0;
  virtual void stroke() = 0;
  virtual void lineCap(int cap) = 0;
  virtual void lineJoin(int join) = 0;
  virtual void save() = 0;
  virtual void restore() = 0;
  virtual void translate(float x, float y) = 0;
  virtual void rotate(float angle) = 0;
  virtual void scale(float sx, float sy) = 0;
  // Decodes an encoded image (PNG or JPEG); the bytes need not outlive the call.
  virtual int createImageMem(const unsigned char* data, int size, int flags) = 0;
  // The font bytes are neither copied nor freed: they must outlive the drawing context.
  virtual int createFontMem(const char* name, const unsigned char* data, int size) = 0;
  virtual void fontFace(const char* name) = 0;
  virtual void fontFaceId(int font) = 0;
  virtual void fontSize(float size) = 0;
  virtual void textAlign(int align) = 0;
  // A null `end` means up to the terminating zero. Returns the x after the text.
  virtual float text(float x, float y, const char* str, const char* end) = 0;
  // Writes xmin, ymin, xmax, ymax to `bounds`; returns the horizontal advance.
  virtual float textBounds(float x, float y, const char* str, const char* end, float* bounds) = 0;
};

}  // namespace corva
