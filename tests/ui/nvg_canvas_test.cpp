// NvgCanvas against a NanoVG context whose renderer records what reaches it, so the
// forwarding (argument order, flags, paints) is checked without a GPU; and the embedded
// font's characters through NanoVG and the news panel.
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nanovg.h>

// The glyph lookup that NanoVG's font stash does, to tell which characters the font lacks.
#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#include <stb/stb_truetype.h>

#include "ui/nvg_canvas.h"
#include "resources/font.h"
#include "tests/ui/png_io.h"
#include "tests/ui/recording_canvas.h"
#include "ui/news_panel.h"
#include "ui/text_draw.h"

namespace corva {
namespace {

struct Texture {
  int w, h, flags;
};

struct RecordingRenderer {
  std::map<int, Texture> textures;
  int nextTexture = 1;
  std::vector<NVGpaint> fills, strokes, triangles;
  std::vector<int> triangleVertices;

  static RecordingRenderer& of(void* p) { return *static_cast<RecordingRenderer*>(p); }
  static int create(void*, void*) { return 1; }
  static int createTexture(void* p, int, int w, int h, int flags, const unsigned char*) {
    auto& r = of(p);
    r.textures[r.nextTexture] = {w, h, flags};
    return r.nextTexture++;
  }
  static int deleteTexture(void* p, int image) { return of(p).textures.erase(image) ? 1 : 0; }
  static int updateTexture(void*, int, int, int, int, int, const unsigned char*) { return 1; }
  static int textureSize(void* p, int image, int* w, int* h) {
    auto& r = of(p);
    auto it = r.textures.find(image);
    if (it == r.textures.end()) return 0;
    *w = it->second.w;
    *h = it->second.h;
    return 1;
  }
  static void viewport(void*, float, float, float) {}
  static void cancel(void*) {}
  static void flush(void*) {}
  static void fill(void* p, NVGpaint* paint, NVGcompositeOperationState, NVGscissor*, float,
                   const float*, const NVGpath*, int) {
    of(p).fills.push_back(*paint);
  }
  static void stroke(void* p, NVGpaint* paint, NVGcompositeOperationState, NVGscissor*, float,
                     float, const NVGpath*, int) {
    of(p).strokes.push_back(*paint);
  }
  static void tris(void* p, NVGpaint* paint, NVGcompositeOperationState, NVGscissor*,
                   const NVGvertex*, int nverts, float) {
    of(p).triangles.push_back(*paint);
    of(p).triangleVertices.push_back(nverts);
  }
  static void destroy(void*) {}
};

class NvgCanvasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NVGparams params{};
    params.userPtr = &renderer;
    params.edgeAntiAlias = 1;
    params.renderCreate = RecordingRenderer::create;
    params.renderCreateTexture = RecordingRenderer::createTexture;
    params.renderDeleteTexture = RecordingRenderer::deleteTexture;
    params.renderUpdateTexture = RecordingRenderer::updateTexture;
    params.renderGetTextureSize = RecordingRenderer::textureSize;
    params.renderViewport = RecordingRenderer::viewport;
    params.renderCancel = RecordingRenderer::cancel;
    params.renderFlush = RecordingRenderer::flush;
    params.renderFill = RecordingRenderer::fill;
    params.renderStroke = RecordingRenderer::stroke;
    params.renderTriangles = RecordingRenderer::tris;
    params.renderDelete = RecordingRenderer::destroy;
    vg = nvgCreateInternal(&params, nullptr);
    ASSERT_NE(vg, nullptr);
    nvgBeginFrame(vg, 200, 100, 1);
  }
  void TearDown() override {
    if (vg) {
      nvgEndFrame(vg);
      nvgDeleteInternal(vg);
    }
  }
  static std::vector<unsigned char> tinyPng() {
    const unsigned char pixels[2 * 2 * 4] = {255, 0, 0, 255, 0, 255, 0, 255,
                                             0, 0, 255, 255, 255, 255, 255, 255};
    return test::encodePng(2, 2, pixels);
  }
  static bool sameColour(const NVGcolor& a, float r, float g, float b, float alpha) {
    return a.r == r && a.g == g && a.b == b && a.a == alpha;
  }

  RecordingRenderer renderer;
  NVGcontext* vg = nullptr;
};

TEST_F(NvgCanvasTest, ImagesTakeTheCanvasFlagsAndDecodeFromMemory) {
  const auto png = tinyPng();
  ASSERT_FALSE(png.empty());
  NvgCanvas plain(vg);
  const int a = plain.createImageMem(png.data(), static_cast<int>(png.size()), NVG_IMAGE_REPEATX);
  ASSERT_GT(a, 0);
  EXPECT_EQ(renderer.textures[a].flags, NVG_IMAGE_REPEATX);
  EXPECT_EQ(renderer.textures[a].w, 2);

  NvgCanvas nearest(vg, NVG_IMAGE_NEAREST);
  const int b = nearest.createImageMem(png.data(), static_cast<int>(png.size()), NVG_IMAGE_REPEATX);
  ASSERT_GT(b, 0);
  EXPECT_EQ(renderer.textures[b].flags, NVG_IMAGE_REPEATX | NVG_IMAGE_NEAREST);

  // Bytes that are not an image give NanoVG's failure handle, passed on unchanged.
  const unsigned char junk[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(plain.createImageMem(junk, 8, 0), 0);
}

TEST_F(NvgCanvasTest, PaintsReachNanoVgInItsArgumentOrder) {
  NvgCanvas canvas(vg);
  canvas.beginPath();
  canvas.rect(0, 0, 10, 10);
  canvas.fillImagePattern(ImagePattern{0, 0, 10, 10, 0, 0.5f, 3});
  canvas.fill();
  ASSERT_EQ(renderer.fills.size(), 1u);
  EXPECT_EQ(renderer.fills[0].image, 3);
  EXPECT_FLOAT_EQ(renderer.fills[0].innerColor.a, 0.5f);

  // A fill colour alone paints nothing; a stroke uses the stroke paint.
  canvas.fillColor(Color{1, 0, 0, 1});
  EXPECT_EQ(renderer.fills.size(), 1u);
  canvas.strokeColor(Color{0, 0, 1, 0.25f});
  canvas.strokeWidth(2);
  canvas.stroke();
  ASSERT_EQ(renderer.strokes.size(), 1u);
  EXPECT_TRUE(sameColour(renderer.strokes[0].innerColor, 0, 0, 1, 0.25f));

  canvas.beginPath();
  canvas.circle(50, 50, 20);
  canvas.fillRadialGradient(50, 50, 5, 20, Color{1, 0.5f, 0, 0.3f}, Color{1, 0.5f, 0, 0});
  canvas.fill();
  ASSERT_EQ(renderer.fills.size(), 2u);
  EXPECT_TRUE(sameColour(renderer.fills[1].innerColor, 1, 0.5f, 0, 0.3f));
  EXPECT_TRUE(sameColour(renderer.fills[1].outerColor, 1, 0.5f, 0, 0));
  EXPECT_FLOAT_EQ(renderer.fills[1].radius, 12.5f);  // NanoVG: (inner + outer) / 2
}

TEST_F(NvgCanvasTest, TextUsesTheEmbeddedFontAndOutlivesTheCanvas) {
  int font = -1;
  float after = 0, advance = 0;
  {
    NvgCanvas canvas(vg);
    font = canvas.createFontMem("CorvaPanel", kEmbeddedFont, kEmbeddedFontSize);
    ASSERT_GE(font, 0);
    canvas.fontFaceId(font);
    canvas.fontSize(20);
    canvas.textAlign(1 | 16);
    canvas.fillColor(Color{1, 1, 1, 1});
    float bounds[4] = {0, 0, 0, 0};
    advance = canvas.textBounds(0, 0, "Hello \xE2\x80\xA6", nullptr, bounds);
    EXPECT_GT(bounds[2] - bounds[0], 30);
    after = canvas.text(10, 20, "Hello \xE2\x80\xA6", nullptr);
    EXPECT_NEAR(after, 10 + advance, 0.01f);
    ASSERT_EQ(renderer.triangleVertices.size(), 1u);
    EXPECT_EQ(renderer.triangleVertices[0], 7 * 6);  // one quad per character
  }
  // The font still belongs to the context after the canvas is gone.
  NvgCanvas again(vg);
  again.fontFace("CorvaPanel");
  again.fontSize(20);
  float bounds[4];
  EXPECT_NEAR(again.textBounds(0, 0, "Hello \xE2\x80\xA6", nullptr, bounds), advance, 0.01f);
  // An explicit end measures only part of the text.
  const char* s = "Hello";
  EXPECT_LT(again.textBounds(0, 0, s, s + 2, bounds), advance);
}

// Records the calls as RecordingCanvas does, but measures and draws text with the real
// font through NanoVG, and counts the characters of every text that the font lacks.
class FontCheckingCanvas : public test::RecordingCanvas {
 public:
  explicit FontCheckingCanvas(NVGcontext* vg) : real(vg) {
    stbtt_InitFont(&info, kEmbeddedFont, stbtt_GetFontOffsetForIndex(kEmbeddedFont, 0));
  }
  int missingGlyphs = 0;

  bool hasGlyph(int codepoint) const { return stbtt_FindGlyphIndex(&info, codepoint) != 0; }

  int createFontMem(const char* name, const unsigned char* data, int size) override {
    realFont = real.createFontMem(name, data, size);
    return RecordingCanvas::createFontMem(name, data, size);
  }
  void fontSize(float size) override {
    realSize = size;
    RecordingCanvas::fontSize(size);
  }
  float text(float x, float y, const char* str, const char* end) override {
    RecordingCanvas::text(x, y, str, end);
    check(str, end);
    select();
    return real.text(x, y, str, end);
  }
  float textBounds(float x, float y, const char* str, const char* end, float* bounds) override {
    RecordingCanvas::textBounds(x, y, str, end, bounds);
    check(str, end);
    select();
    return real.textBounds(x, y, str, end, bounds);
  }

 private:
  void select() {
    real.fontFaceId(realFont);
    real.fontSize(realSize);
  }
  void check(const char* str, const char* end) {
    const std::string s = end ? std::string(str, end) : std::string(str);
    for (std::size_t i = 0; i < s.size();) {
      const unsigned char c = static_cast<unsigned char>(s[i]);
      const std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
      int cp = n == 1 ? c : c & (0x3F >> (n - 1));
      for (std::size_t k = 1; k < n && i + k < s.size(); ++k) cp = cp << 6 | (s[i + k] & 0x3F);
      missingGlyphs += !hasGlyph(cp);
      i += n;
    }
  }
  NvgCanvas real;
  stbtt_fontinfo info{};
  int realFont = -1;
  float realSize = 0;
};

bool isCharacterBoundaryPrefix(const std::string& whole, const std::string& part) {
  return whole.compare(0, part.size(), part) == 0 &&
         (part.size() == whole.size() || (static_cast<unsigned char>(whole[part.size()]) & 0xC0) != 0x80);
}

TEST_F(NvgCanvasTest, EmbeddedFontDrawsWhatNoticesSayAndMarksWhatItLacks) {
  FontCheckingCanvas canvas(vg);
  std::vector<int> wanted = {0x2030, 0x2039, 0x203A, 0x20AC, 0x2122};
  for (int c = 0x20; c <= 0x7E; ++c) wanted.push_back(c);
  for (int c = 0xA0; c <= 0x17F; ++c) wanted.push_back(c);
  for (int c = 0x2010; c <= 0x2027; ++c) wanted.push_back(c);
  for (int c : wanted) EXPECT_TRUE(canvas.hasGlyph(c)) << "U+" << std::hex << c;

  // The notice in the news strip, whole and then in a strip too narrow for it.
  const std::string notice =
      "Questions? Mail help@tembrix.audio & see \"FAQ\" #5 \xE2\x80\x94 50 % off \xC2\xAB promo \xC2\xBB "
      "\xE2\x80\x99";
  NewsView view;
  view.pageCount = 1;
  view.segmentCount = 1;
  std::snprintf(view.segments[0].text, sizeof view.segments[0].text, "%s", notice.c_str());
  NewsRects rects = {};
  FontState font;
  for (float width : {1296.0f, 420.0f}) {
    const float face[4] = {0, 0, width * 736 / 864, 400};
    const float panel[4] = {face[2], 0, width - face[2], 400};
    canvas.clear();
    drawNewsPanel(view, rects, font, canvas, face, panel);
    ASSERT_GE(font.handle, 0);
    const std::vector<std::string> drawn = canvas.texts();
    ASSERT_EQ(drawn.size(), 1u) << width;
    if (width > 1000) {
      EXPECT_EQ(drawn[0], notice);
    } else {
      const std::string ellipsis = "\xE2\x80\xA6";
      ASSERT_GT(drawn[0].size(), ellipsis.size());
      ASSERT_EQ(drawn[0].substr(drawn[0].size() - 3), ellipsis);
      const std::string kept = drawn[0].substr(0, drawn[0].size() - 3);
      EXPECT_GT(kept.size(), 10u);
      EXPECT_LT(kept.size(), notice.size() - 10);
      EXPECT_TRUE(isCharacterBoundaryPrefix(notice, kept)) << kept;
    }
  }
  EXPECT_EQ(canvas.missingGlyphs, 0);

  // A character the font lacks takes the replacement mark's place and width, and a
  // text holding it still shortens whole characters at a time.
  canvas.fontSize(20);
  float bounds[4];
  const float mark = canvas.textBounds(0, 0, "\xEF\xBF\xBD", nullptr, bounds);
  EXPECT_GT(bounds[2] - bounds[0], 8);
  EXPECT_EQ(canvas.textBounds(0, 0, "\xE4\xB8\xAD", nullptr, bounds), mark);  // a CJK ideograph
  EXPECT_EQ(canvas.missingGlyphs, 1);
  char text[32] = "ab\xE4\xB8\xAD\xE4\xB8\xAD";
  canvas.textBounds(0, 0, "ab\xE2\x80\xA6", nullptr, bounds);
  drawTextFitted(canvas, font.handle, text, 20, bounds[2] - bounds[0] + mark * 0.5f);
  EXPECT_STREQ(text, "ab\xE2\x80\xA6");
}

}  // namespace
}  // namespace corva
