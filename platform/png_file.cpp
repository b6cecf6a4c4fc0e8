#include "platform/png_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "stb_image_write.h"

namespace platform {

namespace {

bool writeAll(int fd, const unsigned char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool SavePng(const std::string& path, const std::vector<unsigned char>& rgba, int w, int h) {
  if (path.empty() || w <= 0 || h <= 0 || rgba.size() != static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4)
    return false;
  int len = 0;
  unsigned char* png =
      stbi_write_png_to_mem(const_cast<unsigned char*>(rgba.data()), w * 4, w, h, 4, &len);
  if (!png) return false;
  std::string tmp = path + ".XXXXXX";
  const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
  bool ok = fd >= 0 && writeAll(fd, png, static_cast<std::size_t>(len));
  STBIW_FREE(png);
  if (fd < 0) return false;
  // A picture is for other programs to open: it keeps the mode of the file it replaces,
  // else it is readable by all, as files that programs save usually are.
  struct stat old;
  ok = ::fchmod(fd, ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return false;
  }
  return true;
}

}  // namespace platform
