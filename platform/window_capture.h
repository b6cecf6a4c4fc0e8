#pragma once
// Captures a window's content into a PNG file.

#include <string>

namespace platform {

// `gdkWindow` is a GdkWindow*. False when the window has no area, cannot be read, or the
// file cannot be encoded or written.
bool SaveWindowPng(void* gdkWindow, const std::string& path);

}  // namespace platform
