#include "platform/window_capture.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <vector>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "stb_image_write.h"

namespace platform {

bool SaveWindowPng(void* gdkWindow, const std::string& path) {
  auto* gw = static_cast<GdkWindow*>(gdkWindow);
  if (!gw || path.empty()) return false;
  const int w = gdk_window_get_width(gw), h = gdk_window_get_height(gw);
  if (w <= 0 || h <= 0) return false;
  GdkPixbuf* pb = gdk_pixbuf_get_from_window(gw, 0, 0, w, h);
  if (!pb) return false;
  // Packed RGBA rows with an opaque alpha, whatever the pixbuf's layout.
  const int n = gdk_pixbuf_get_n_channels(pb), stride = gdk_pixbuf_get_rowstride(pb);
  const guchar* src = gdk_pixbuf_read_pixels(pb);
  std::vector<unsigned char> rgba(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const guchar* p = src + static_cast<std::ptrdiff_t>(y) * stride + x * n;
      unsigned char* d = rgba.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)) * 4;
      d[0] = p[0];
      d[1] = p[1];
      d[2] = p[2];
      d[3] = 255;
    }
  }
  g_object_unref(pb);
  int len = 0;
  unsigned char* png = stbi_write_png_to_mem(rgba.data(), w * 4, w, h, 4, &len);
  if (!png) return false;
  FILE* f = std::fopen(path.c_str(), "wb");
  bool ok = f && std::fwrite(png, 1, static_cast<std::size_t>(len), f) == static_cast<std::size_t>(len);
  if (f) ok = std::fclose(f) == 0 && ok;
  STBIW_FREE(png);
  return ok;
}

}  // namespace platform
