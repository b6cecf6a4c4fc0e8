#include "ui/face_draw.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "resources/face_images.h"
#include "ui/colour.h"

namespace corva {

namespace {

constexpr float kRadiansPerDegree = 0.017453292f;
constexpr int kRoundCap = 1;  // NanoVG line caps
constexpr int kButtCap = 0;

// Image slots of the face.
enum FaceImage {
  kPhoto = 0,      // the front panel with its printed scales
  kKnobImage = 1,  // 1..4: tone, mode and speed selectors, volume knob
  kKnobShadow = 5,
  kLedGlowImage = 6,
  kSwitchImage = 7,
  kCoverStrip = 8,
};

static_assert(kFaceImageCount == kFaceImageSlots, "one embedded image per face image slot");

struct Point {
  float x, y;
};

Point polar(float cx, float cy, float radius, float radians) {
  return {cx + radius * std::cos(radians), cy + radius * std::sin(radians)};
}

class FacePainter {
 public:
  FacePainter(const FaceModel& face, Canvas& canvas) : face_(face), c_(canvas) {}

  bool has(int slot) const { return face_.images[slot] > 0; }

  void image(int slot, float x, float y, float w, float h, float alpha = 1.0f) {
    c_.beginPath();
    c_.rect(x, y, w, h);
    c_.fillImagePattern(ImagePattern{x, y, w, h, 0.0f, alpha, face_.images[slot]});
    c_.fill();
  }

  void fillCircle(float cx, float cy, float r, const Color& fill) {
    c_.beginPath();
    c_.circle(cx, cy, r);
    c_.fillColor(fill);
    c_.fill();
  }

  void fillStrokeCircle(float cx, float cy, float r, const Color& fill, const Color& line) {
    fillCircle(cx, cy, r, fill);
    c_.strokeColor(line);
    c_.stroke();
  }

  // Strokes the current path; a width other than 1 or a round cap is put back after.
  void stroke(const Color& line, float width = 1.0f, int cap = kButtCap) {
    c_.strokeColor(line);
    if (width != 1.0f) c_.strokeWidth(width);
    if (cap != kButtCap) c_.lineCap(cap);
    c_.stroke();
    if (width != 1.0f) c_.strokeWidth(1.0f);
    if (cap != kButtCap) c_.lineCap(kButtCap);
  }

  void line(Point a, Point b, const Color& colour, float width, int cap = kButtCap) {
    c_.beginPath();
    c_.moveTo(a.x, a.y);
    c_.lineTo(b.x, b.y);
    stroke(colour, width, cap);
  }

  void polygon(const Point* points, int count) {
    c_.beginPath();
    c_.moveTo(points[0].x, points[0].y);
    for (int i = 1; i < count; ++i) c_.lineTo(points[i].x, points[i].y);
    c_.closePath();
  }

  // Six corners at `radius`, the first at `firstDegrees`, filled and outlined.
  void hexagon(float cx, float cy, float radius, float firstDegrees, const Color& fill, const Color& line,
               float lineWidth = 1.0f) {
    Point corners[6];
    for (int i = 0; i < 6; ++i) corners[i] = polar(cx, cy, radius, (firstDegrees + 60.0f * i) * kRadiansPerDegree);
    polygon(corners, 6);
    c_.fillColor(fill);
    c_.fill();
    stroke(line, lineWidth);
  }

  void panel();
  // The face's elements, each drawn around its centre (cx, cy) in design units.
  void drawSelector(float cx, float cy, int index, float position, int count, const float* angles,
                    std::uint32_t colour);
  void drawFaceKnob(float cx, float cy, int index, std::uint32_t colour, float radians);
  void drawFaceLed(float cx, float cy, float level);
  void drawLedGlow(float cx, float cy, float brightness);
  void drawPushButton(float cx, float cy, bool pressed, std::uint32_t colour);
  void drawToggleSwitch(float cx, float cy, bool on);

 private:
  const FaceModel& face_;
  Canvas& c_;
};

float centreX(int control) {
  float x = 0, y = 0;
  faceControlCentre(control, x, y);
  return x;
}
float centreY(int control) {
  float x = 0, y = 0;
  faceControlCentre(control, x, y);
  return y;
}

constexpr float kPanelRadius = 25.6f;

void FacePainter::panel() {
  if (has(kPhoto)) {
    c_.beginPath();
    c_.roundedRect(0, 0, kFaceDesignWidth, kFaceDesignHeight, kPanelRadius);
    c_.fillImagePattern(ImagePattern{0, 0, kFaceDesignWidth, kFaceDesignHeight, 0.0f, 1.0f, face_.images[kPhoto]});
    c_.fill();
    return;
  }
  c_.beginPath();
  c_.roundedRect(0, 0, kFaceDesignWidth, kFaceDesignHeight, kPanelRadius);
  c_.fillColor(colourFromBytes(154, 148, 137));
  c_.fill();

  // The raised frame: a rectangle with its four corners notched.
  static const Point kFrame[12] = {{54.4f, 11.52f},    {681.6f, 11.52f},  {681.6f, 54.4f},   {724.48f, 54.4f},
                                   {724.48f, 519.04f}, {681.6f, 519.04f}, {681.6f, 561.92f}, {54.4f, 561.92f},
                                   {54.4f, 519.04f},   {11.52f, 519.04f}, {11.52f, 54.4f},   {54.4f, 54.4f}};
  polygon(kFrame, 12);
  stroke(colourFromBytes(20, 20, 20), 5.76f);

  static const Point kScrews[4] = {{29.44f, 29.44f}, {706.56f, 29.44f}, {29.44f, 544.0f}, {706.56f, 544.0f}};
  for (const Point& p : kScrews)
    fillStrokeCircle(p.x, p.y, 20.48f, colourFromBytes(139, 134, 125), colourFromBytes(74, 70, 63));
}

void FacePainter::drawSelector(float cx, float cy, int index, float position, int count, const float* angles,
                               std::uint32_t colour) {
  const int p = std::clamp(static_cast<int>(position), 0, count - 1);
  if (!has(kPhoto)) {
    for (int i = 0; i < count; ++i) {
      const float a = angles[i] * kRadiansPerDegree;
      line(polar(cx, cy, 69.12f, a), polar(cx, cy, 80.64f, a), colourFromBytes(30, 28, 25), 2.88f, kRoundCap);
    }
  }
  drawFaceKnob(cx, cy, index, colour, angles[p] * kRadiansPerDegree);
}

void FacePainter::drawFaceKnob(float cx, float cy, int index, std::uint32_t colour, float radians) {
  if (has(kKnobImage + index)) {
    if (has(kKnobShadow)) image(kKnobShadow, cx - 92.8f, cy - 92.8f, 185.6f, 185.6f);
    c_.save();
    c_.translate(cx, cy);
    c_.rotate(radians + 90.0f * kRadiansPerDegree);  // the image's pointer is at its top
    image(kKnobImage + index, -92.8f, -92.8f, 185.6f, 185.6f);
    c_.restore();
    return;
  }
  fillCircle(cx, cy + 3.0f, 64.0f, Color{0, 0, 0, 0.35f});
  fillStrokeCircle(cx, cy, 64.0f, colourFromBytes(20, 20, 20), colourFromBytes(4, 4, 4));

  // Knurled skirt: seven gentle lobes.
  constexpr int kSkirtPoints = 196;
  c_.beginPath();
  for (int i = 0; i < kSkirtPoints; ++i) {
    const float degrees = 360.0f * static_cast<float>(i) / kSkirtPoints;
    const float r = 50.24f + 2.56f * std::cos(7.0f * degrees * kRadiansPerDegree);
    const Point p = polar(cx, cy, r, degrees * kRadiansPerDegree);
    if (i == 0) c_.moveTo(p.x, p.y);
    else c_.lineTo(p.x, p.y);
  }
  c_.closePath();
  c_.fillColor(colourFromBytes(30, 30, 30));
  c_.fill();

  fillCircle(cx, cy, 32.0f, colourFromRgb(colour));
  line(polar(cx, cy, 32.0f, radians), polar(cx, cy, 60.0f, radians), colourFromBytes(242, 242, 242), 4.0f);
}

constexpr float kLedX = 364.16f;
constexpr float kLedY = 332.544f;
constexpr float kLedBezel = 22.912f;

void FacePainter::drawLedGlow(float cx, float cy, float b) {
  const float outer = kLedBezel + 16.64f * b;
  c_.beginPath();
  c_.circle(cx, cy, outer);
  c_.fillRadialGradient(cx, cy, kLedBezel, outer, colourFromBytes(255, 214, 96, 0.3f * b),
                        colourFromBytes(255, 214, 96, 0.0f));
  c_.fill();
}

void FacePainter::drawFaceLed(float cx, float cy, float level) {
  float b = std::clamp(2.5f * level, 0.0f, 1.0f);
  if (std::isnan(b)) b = 0.0f;  // a level that is not a number shows the LED dark
  if (has(kPhoto) && has(kLedGlowImage)) {
    if (b > 0.01f) {  // below that, the photograph's dark LED shows
      drawLedGlow(cx, cy, b);
      image(kLedGlowImage, cx - 23.04f, cy - 23.04f, 46.08f, 46.08f, b);
    }
    return;
  }
  fillStrokeCircle(cx, cy, kLedBezel, colourFromBytes(109, 104, 95), colourFromBytes(60, 57, 51));
  if (b > 0.02f) drawLedGlow(cx, cy, b);
  // The lens runs from dark (90, 81, 47) to fully lit (255, 216, 74).
  fillStrokeCircle(cx, cy, 17.184f,
                   colourFromBytes(static_cast<int>(90.0f + 165.0f * b), static_cast<int>(81.0f + 135.0f * b),
                                   static_cast<int>(47.0f + 27.0f * b)),
                   colourFromBytes(44, 42, 36));
}

void FacePainter::drawPushButton(float cx, float cy, bool pressed, std::uint32_t colour) {
  if (has(kPhoto)) {
    if (pressed) fillCircle(cx, cy, 20.16f, Color{0, 0, 0, 0.34f});  // darkens the cap
    return;
  }
  hexagon(cx, cy, 29.44f, 0.0f, colourFromBytes(180, 180, 176), colourFromBytes(85, 85, 79));
  fillCircle(cx, cy, 24.64f, colourFromBytes(143, 143, 138));
  Color cap = colourFromRgb(colour);
  if (pressed) {
    cap.r *= 0.82f;
    cap.g *= 0.82f;
    cap.b *= 0.82f;
  }
  fillStrokeCircle(cx, cy, pressed ? 17.664f : 19.2f, cap, colourFromBytes(28, 28, 24));
}

void FacePainter::drawToggleSwitch(float cx, float cy, bool on) {
  if (has(kPhoto) && has(kSwitchImage)) {
    // The image shows the lever up (on); off mirrors it top to bottom.
    c_.save();
    c_.translate(cx, cy);
    if (!on) c_.scale(1.0f, -1.0f);
    image(kSwitchImage, -41.6f, -41.6f, 83.2f, 83.2f);
    c_.restore();
    return;
  }
  const float a = (on ? 90.0f : -90.0f) * kRadiansPerDegree;
  const Point d{std::cos(a), std::sin(a)};
  const Point n{-std::sin(a), std::cos(a)};
  const Point C{cx, cy};
  const Point T{cx + 51.2f * d.x, cy + 51.2f * d.y};
  auto at = [](Point base, float sn, Point nn, float sd, Point dd) {
    return Point{base.x + sn * nn.x + sd * dd.x, base.y + sn * nn.y + sd * dd.y};
  };

  fillStrokeCircle(cx, cy, 32.96f, colourFromBytes(157, 157, 152), colourFromBytes(76, 76, 71));
  hexagon(cx, cy, 26.24f, 90.0f, colourFromBytes(178, 178, 173), colourFromBytes(76, 76, 71), 1.5f);
  fillCircle(cx, cy, 13.6448f, colourFromBytes(27, 27, 25));

  const Point lever[6] = {at(C, 8, n, 0, d),        at(T, 8, n, 0, d),  at(T, 4.4f, n, 4.4f, d),
                          at(T, -4.4f, n, 4.4f, d), at(T, -8, n, 0, d), at(C, -8, n, 0, d)};
  polygon(lever, 6);
  c_.fillColor(colourFromBytes(198, 198, 193));
  c_.fill();
  stroke(colourFromBytes(85, 85, 79));
  line(at(C, 3.6f, n, 0, d), at(T, 3.6f, n, 0, d), colourFromBytes(232, 232, 228), 2.24f);
}

// Detent angles of the selectors' four positions, degrees.
constexpr float kToneAngles[4] = {-131.4f, -101.6f, -72.5f, -44.3f};
constexpr float kModeAngles[4] = {-136.1f, -106.9f, -76.8f, -46.1f};
constexpr float kSpeedAngles[4] = {-139.6f, -110.8f, -80.3f, -48.6f};

// A selector value to the position drawn: nearest, halves away from zero.
float roundedPosition(float v) {
  if (!std::isfinite(v)) return 0.0f;
  return std::round(std::clamp(v, 0.0f, 3.0f));
}

}  // namespace

void faceLedRect(const FaceModel& face, float rect[4]) {
  const float r = kLedBezel + 16.64f + 1.0f;
  rect[0] = face.originX + (kLedX - r) * face.pixelScale;
  rect[1] = face.originY + (kLedY - r) * face.pixelScale;
  rect[2] = rect[3] = 2.0f * r * face.pixelScale;
}

void drawMainFace(FaceModel& face, Canvas& canvas, const float rect[4], UiLayer layer) {
  face.originX = rect[0];
  face.originY = rect[1];
  face.pixelScale = rect[2] / kFaceDesignWidth;
  const bool transformed = !(face.originX == 0.0f && face.originY == 0.0f && face.pixelScale == 1.0f);
  if (transformed) {
    canvas.save();
    canvas.translate(face.originX, face.originY);
    canvas.scale(face.pixelScale, face.pixelScale);
  }

  if (!face.imagesCreated) {
    for (int slot = 0; slot < kFaceImageSlots; ++slot) {
      const EmbeddedImage& e = kFaceImageData[slot];
      face.images[slot] = e.data ? canvas.createImageMem(e.data, e.size, 0) : 0;
    }
    face.imagesCreated = true;
  }

  FacePainter paint(face, canvas);
  if (layer != UiLayer::kChanging) {
    canvas.beginPath();
    canvas.rect(0, 0, kFaceDesignWidth + 2.0f, kFaceDesignHeight);
    canvas.fillColor(colourFromBytes(28, 28, 28));
    canvas.fill();

    paint.panel();
    if (paint.has(kCoverStrip)) paint.image(kCoverStrip, 129.7536f, 537.92f, 476.4992f, 14.72f);
  }
  if (layer == UiLayer::kStill) {
    if (transformed) canvas.restore();
    return;
  }

  const float* v = face.values;
  paint.drawSelector(centreX(kTone), centreY(kTone), kTone, roundedPosition(v[kTone]), 4, kToneAngles, 0x2e6b34);
  paint.drawSelector(centreX(kMode), centreY(kMode), kMode, roundedPosition(v[kMode]), 4, kModeAngles, 0xd6c93e);
  paint.drawSelector(centreX(kSpeed), centreY(kSpeed), kSpeed, roundedPosition(v[kSpeed]), 4, kSpeedAngles, 0xc43028);
  paint.drawFaceLed(kLedX, kLedY, v[kLedLevel]);

  // Volume sweeps 270 degrees, from -225 (lower left) through straight up to 45.
  float t = std::clamp(v[kVolume], 0.0f, 1.0f);
  if (std::isnan(t)) t = 0.0f;
  paint.drawFaceKnob(centreX(kVolume), centreY(kVolume), kVolume, 0x2f7fa8, (t * 270.0f - 225.0f) * kRadiansPerDegree);

  paint.drawPushButton(centreX(kCorvaBtn), centreY(kCorvaBtn), v[kCorvaBtn] > 0.5f, 0x2faa55);
  paint.drawPushButton(centreX(kToneBtn), centreY(kToneBtn), v[kToneBtn] > 0.5f, 0xe8d23c);
  paint.drawPushButton(centreX(kTrigger), centreY(kTrigger), v[kTrigger] > 0.5f, 0xd8362c);
  paint.drawToggleSwitch(centreX(kHold), centreY(kHold), v[kHold] > 0.5f);

  if (transformed) canvas.restore();
}

}  // namespace corva
