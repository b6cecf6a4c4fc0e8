#pragma once
// A settings file in the INI (profile) format: "[section]" lines and "key=value" lines.
//
// Reading follows the profile rules programs rely on: section and key names match
// without regard to case, the first of two equal keys wins, blanks around a value are
// dropped, and a value in matching quotes loses them. A string is read into a buffer of
// a given size, so it is cut to one byte less; a number is read as a signed decimal
// integer with whatever follows it ignored (a value that is not a number reads 0).
//
// Every value written reads back unchanged: a line break ends it, bytes that are not
// text (control characters, broken UTF-8) are left out, and a value that reading would
// change (blanks at an end, matching quotes) is written in quotes.
//
// Writing changes the file in memory; Save() replaces the whole file at once, so a
// reader never sees a half-written file and two writers never leave a mixed one.
// Entries of other sections and keys survive a rewrite; lines that are neither a
// section, an entry nor text (binary bytes) are dropped, which repairs a damaged file.

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// `text` cut to at most maxBytes bytes, never inside a UTF-8 character.
std::string CutText(const std::string& text, std::size_t maxBytes);

class ProfileFile {
 public:
  // Reads at most this many bytes of a file; the rest of a larger file is ignored.
  static constexpr std::size_t kMaxFileBytes = 1 << 20;

  // Reads `path`; false (and an empty profile) when it cannot be read or is not a
  // regular file (a FIFO or a device is never opened in a way that could block).
  [[nodiscard]] bool Load(const std::string& path);
  // Reads the profile from text, as Load() reads a file's bytes.
  void LoadText(const std::string& text);
  // Writes the whole profile to `path` through a temporary file in the same folder and
  // a rename over the old file; false when that fails, leaving the old file as it was.
  [[nodiscard]] bool Save(const std::string& path) const;

  // The value of key in section cut to at most bufferSize - 1 bytes on a character
  // boundary, or `fallback` (cut the same way) when the key is missing.
  std::string GetString(const std::string& section, const std::string& key, const std::string& fallback,
                        std::size_t bufferSize) const;
  long long GetInt(const std::string& section, const std::string& key, long long fallback) const;
  // Sets key in section, adding either when missing; the value is kept as described
  // above, so GetString gives it back unchanged (unless it is longer than its buffer).
  void SetString(const std::string& section, const std::string& key, const std::string& value);

  std::string Text() const;

 private:
  struct Entry {
    std::string key;
    std::string value;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };
  const Entry* Find(const std::string& section, const std::string& key) const;
  void Parse(const std::string& text);

  std::vector<Section> mSections;
};

}  // namespace platform
