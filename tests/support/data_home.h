#pragma once
// Points the data folder at a fresh temporary folder for as long as the object lives,
// so tests neither read the user's MIDI map nor write into the user's home.

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace corva::test {

class ScopedDataHome {
 public:
  ScopedDataHome() {
    namespace fs = std::filesystem;
    if (const char* old = std::getenv("XDG_DATA_HOME")) previous = old;
    std::string pattern = (fs::temp_directory_path() / "corva-data-XXXXXX").string();
    if (mkdtemp(pattern.data())) root = pattern;
    setenv("XDG_DATA_HOME", root.c_str(), 1);
  }
  ~ScopedDataHome() {
    if (previous) setenv("XDG_DATA_HOME", previous->c_str(), 1);
    else unsetenv("XDG_DATA_HOME");
    std::error_code ec;
    if (!root.empty()) std::filesystem::remove_all(root, ec);
  }
  ScopedDataHome(const ScopedDataHome&) = delete;
  ScopedDataHome& operator=(const ScopedDataHome&) = delete;

  // The folder the MIDI map file lives in.
  std::string folder() const { return root + "/Tembrix/QVTCorva1"; }

  std::string root;
  std::optional<std::string> previous;
};

}  // namespace corva::test
