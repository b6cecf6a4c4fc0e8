#pragma once
// The face's nine images, encoded (a JPEG for the panel, PNGs for the rest), by slot:
// 0 panel photograph, 1..4 tone, mode and speed selector knobs and the volume knob,
// 5 knob shadow, 6 lit LED, 7 hold switch, 8 cover strip. They are made by
// resources/face/make_face_images.py and embedded at build time; the bytes live for
// the whole run of the program.

namespace corva {

struct EmbeddedImage {
  const unsigned char* data;
  int size;
};

constexpr int kFaceImageCount = 9;
extern const EmbeddedImage kFaceImageData[kFaceImageCount];

}  // namespace corva
