#include "tests/support/png_io.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace corva::test {

namespace {
void append(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<unsigned char>*>(context);
  const auto* bytes = static_cast<const unsigned char*>(data);
  out->insert(out->end(), bytes, bytes + size);
}
}  // namespace

std::vector<unsigned char> encodePng(int w, int h, const unsigned char* rgba) {
  std::vector<unsigned char> out;
  if (!stbi_write_png_to_func(append, &out, w, h, 4, rgba, w * 4)) out.clear();
  return out;
}

bool writePng(const std::string& path, int w, int h, const unsigned char* rgba) {
  return stbi_write_png(path.c_str(), w, h, 4, rgba, w * 4) != 0;
}

}  // namespace corva::test
