// NvgCanvas against a NanoVG context whose renderer records what reaches it, so the
// forwarding (argument order, flags, paints) is checked without a GPU; and what the
// embedded font draws.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <nanovg.h>

// The glyph lookup that NanoVG's font stash does, to tell which characters the font lacks.
#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#include <stb/stb_truetype.h>

#include "resources/font.h"
#include "tests/support/png_io.h"
#include "ui/nvg_canvas.h"
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
  static void fill(void* p, NVGpaint* paint, NVGcompositeOperationState, NVGscissor*, float, const float*,
                   const NVGpath*, int) {
    of(p).fills.push_back(*paint);
  }
  static void stroke(void* p, NVGpaint* paint, NVGcompositeOperationState, NVGscissor*, float, float, const NVGpath*,
                     int) {
    of(p).strokes.push_back(*paint);
  }
  static void tris(void* p, NVGpaint* paint, NVGcompositeOperationState, NVGscissor*, const NVGvertex*, int nverts,
                   float) {
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
    const unsigned char pixels[2 * 2 * 4] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
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

TEST_F(NvgCanvasTest, EmbeddedFontDrawsNoticeTextAndMarksWhatItLacks) {
  // The glyph lookup of NanoVG's font stash: 0 when the font lacks the character.
  stbtt_fontinfo info{};
  ASSERT_TRUE(stbtt_InitFont(&info, kEmbeddedFont, 0));
  for (auto [from, to] : {std::pair{0x20, 0x7E},
                          {0xA0, 0x17F},
                          {0x2010, 0x2027},
                          {0x2030, 0x2030},
                          {0x2039, 0x203A},
                          {0x20AC, 0x20AC},
                          {0x2122, 0x2122}})
    for (int c = from; c <= to; ++c) EXPECT_NE(stbtt_FindGlyphIndex(&info, c), 0) << "U+" << std::hex << c;

  // The notice, shortened to fit, is cut between whole characters.
  const std::string notice =
      "Questions? Mail help@tembrix.audio & see \"FAQ\" #5 \xE2\x80\x94 50 % off "
      "\xC2\xAB promo \xC2\xBB \xE2\x80\x99";
  NvgCanvas canvas(vg);
  const int font = canvas.createFontMem("CorvaNews", kEmbeddedFont, kEmbeddedFontSize);
  char text[128];
  std::snprintf(text, sizeof text, "%s", notice.c_str());
  drawTextFitted(canvas, font, text, 17.92f, 300);
  const std::string cut(text), kept = cut.substr(0, cut.size() - 3);
  EXPECT_EQ(cut.substr(kept.size()), "\xE2\x80\xA6");
  EXPECT_EQ(notice.compare(0, kept.size(), kept), 0);
  EXPECT_NE(static_cast<unsigned char>(notice[kept.size()]) & 0xC0, 0x80) << kept;
  // A character the font lacks draws as the replacement mark, at the mark's width.
  float bounds[4];
  const float mark = canvas.textBounds(0, 0, "\xEF\xBF\xBD", nullptr, bounds);
  EXPECT_EQ(canvas.textBounds(0, 0, "\xE4\xB8\xAD", nullptr, bounds), mark);
  std::snprintf(text, sizeof text, "%s", "ab\xE4\xB8\xAD\xE4\xB8\xAD");
  drawTextFitted(canvas, font, text, 17.92f, mark * 3);
  EXPECT_STREQ(text, "ab\xE4\xB8\xAD\xE2\x80\xA6");
}

}  // namespace
}  // namespace corva
