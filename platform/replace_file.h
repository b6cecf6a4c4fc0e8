#pragma once
// Replacing a file's whole content at once.

#include <cstddef>
#include <string>

namespace platform {

// Writes `size` bytes to `path` through a temporary file in the same folder, made for this
// write alone, which then takes the path's place with the permissions `mode`: a reader
// sees the old file or the new one, never a part, and two writers never leave a mixed
// one. False when any step fails; `path` is then as it was and no temporary file is left.
[[nodiscard]] bool ReplaceFile(const std::string& path, const void* data, std::size_t size, unsigned mode);

}  // namespace platform
