#include "platform/png_file.h"

#include <sys/stat.h>

#include "platform/replace_file.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "stb_image_write.h"

namespace platform {

bool SavePng(const std::string& path, const std::vector<unsigned char>& rgba, int w, int h) {
  if (path.empty() || w <= 0 || h <= 0 || rgba.size() != static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4)
    return false;
  int len = 0;
  unsigned char* png = stbi_write_png_to_mem(const_cast<unsigned char*>(rgba.data()), w * 4, w, h, 4, &len);
  if (!png) return false;
  // A picture is for other programs to open: it keeps the mode of the file it replaces,
  // else it is readable by all, as files that programs save usually are.
  struct stat old;
  const unsigned mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
  const bool ok = ReplaceFile(path, png, static_cast<std::size_t>(len), mode);
  STBIW_FREE(png);
  return ok;
}

}  // namespace platform
