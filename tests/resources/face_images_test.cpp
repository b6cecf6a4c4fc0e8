// The embedded face images: each slot holds the format and size the face drawing is
// laid out for, read from the encoded headers, and all nine stay small.
#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

#include "resources/face_images.h"

namespace corva {
namespace {

std::uint32_t bigEndian32(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}
int bigEndian16(const unsigned char* p) { return (p[0] << 8) | p[1]; }

struct Header {
  bool valid = false;
  int width = 0, height = 0;
  int components = 0;  // JPEG: colour components; PNG: colour type
  int bitDepth = 0;    // bits per component
  bool baseline = false;
};

// A PNG's signature and its first chunk, IHDR.
Header readPng(const EmbeddedImage& image) {
  Header h;
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const unsigned char* p = image.data;
  if (image.size < 33 || std::memcmp(p, kSignature, 8) != 0 || std::memcmp(p + 12, "IHDR", 4) != 0) return h;
  h.valid = true;
  h.width = static_cast<int>(bigEndian32(p + 16));
  h.height = static_cast<int>(bigEndian32(p + 20));
  h.bitDepth = p[24];
  h.components = p[25];
  return h;
}

// A JPEG's markers up to its frame header.
Header readJpeg(const EmbeddedImage& image) {
  Header h;
  const unsigned char* p = image.data;
  const int n = image.size;
  if (n < 4 || p[0] != 0xFF || p[1] != 0xD8) return h;
  for (int i = 2; i + 9 < n;) {
    if (p[i] != 0xFF) return h;
    const int marker = p[i + 1];
    const int length = bigEndian16(p + i + 2);
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      h.valid = true;
      h.baseline = marker == 0xC0;
      h.bitDepth = p[i + 4];
      h.height = bigEndian16(p + i + 5);
      h.width = bigEndian16(p + i + 7);
      h.components = p[i + 9];
      return h;
    }
    i += 2 + length;
  }
  return h;
}

TEST(FaceImagesTest, EachSlotHoldsItsFormatAndSizeAndAllNineStaySmall) {
  const Header panel = readJpeg(kFaceImageData[0]);
  ASSERT_TRUE(panel.valid);
  EXPECT_TRUE(panel.baseline) << "a baseline JPEG, which every decoder reads";
  EXPECT_EQ(panel.width, 1472);
  EXPECT_EQ(panel.height, 1147);
  EXPECT_EQ(panel.components, 3);
  EXPECT_EQ(panel.bitDepth, 8);

  constexpr int kRgba = 6;  // the PNG colour type of 8-bit RGB with alpha
  const int sizes[kFaceImageCount][2] = {{0, 0},     {256, 256}, {256, 256}, {256, 256}, {256, 256},
                                         {256, 256}, {256, 256}, {320, 320}, {1906, 59}};
  long total = kFaceImageData[0].size;
  for (int slot = 1; slot < kFaceImageCount; ++slot) {
    const Header png = readPng(kFaceImageData[slot]);
    ASSERT_TRUE(png.valid) << slot;
    EXPECT_EQ(png.width, sizes[slot][0]) << slot;
    EXPECT_EQ(png.height, sizes[slot][1]) << slot;
    EXPECT_EQ(png.components, kRgba) << slot;
    EXPECT_EQ(png.bitDepth, 8) << slot;
    total += kFaceImageData[slot].size;
  }
  EXPECT_LT(total, 1500000);
}

}  // namespace
}  // namespace corva
