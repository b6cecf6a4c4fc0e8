#pragma once
// Writing a picture as a PNG file.

#include <string>
#include <vector>

namespace platform {

// Writes `rgba` (w x h pixels, 4 bytes each, top row first) to `path` as a PNG file, through
// a temporary file in the same folder that replaces `path` only once it is complete. False
// when the picture is empty or the file cannot be encoded or written; `path` is then as
// it was.
[[nodiscard]] bool SavePng(const std::string& path, const std::vector<unsigned char>& rgba, int w, int h);

}  // namespace platform
