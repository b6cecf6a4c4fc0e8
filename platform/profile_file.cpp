#include "platform/profile_file.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "platform/replace_file.h"

namespace platform {

namespace {

bool sameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

// The length of the text character that starts at line[i], or 0 when the bytes there are
// not one: a control character other than tab, or not UTF-8.
std::size_t textCharAt(const std::string& line, std::size_t i) {
  const unsigned char u = static_cast<unsigned char>(line[i]);
  if ((u < 0x20 && u != '\t') || u == 0x7F) return 0;
  const int extra = u < 0x80                          ? 0
                    : (u & 0xE0) == 0xC0 && u >= 0xC2 ? 1
                    : (u & 0xF0) == 0xE0              ? 2
                    : (u & 0xF8) == 0xF0 && u <= 0xF4 ? 3
                                                      : -1;
  if (extra < 0 || i + static_cast<std::size_t>(extra) >= line.size()) return 0;
  for (int k = 1; k <= extra; ++k)
    if ((static_cast<unsigned char>(line[i + static_cast<std::size_t>(k)]) & 0xC0) != 0x80) return 0;
  return static_cast<std::size_t>(extra) + 1;
}

// Text, as opposed to binary bytes: valid UTF-8 with no control characters but tab.
bool isText(const std::string& line) {
  for (std::size_t i = 0, n = 0; i < line.size(); i += n)
    if ((n = textCharAt(line, i)) == 0) return false;
  return true;
}

// A value as it is stored in its line: quoted when reading would otherwise change it
// (blanks at either end are dropped, and matching quotes are taken off).
std::string storedValue(const std::string& v) {
  if (v.empty()) return v;
  const bool blankEnd = v.front() == ' ' || v.front() == '\t' || v.back() == ' ' || v.back() == '\t';
  const bool quoted = v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
  return blankEnd || quoted ? '"' + v + '"' : v;
}

}  // namespace

std::string CutText(const std::string& text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t cut = maxBytes;
  // Never through a character: back off over the continuation bytes of the one cut.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut);
}

bool ProfileFile::Load(const std::string& path) {
  mSections.clear();
  // Without blocking: a FIFO or a device at the path must not stop the caller. Only a
  // regular file is read.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  std::string text;
  char buf[65536];
  while (text.size() < kMaxFileBytes) {
    const ssize_t n = ::read(fd, buf, std::min(sizeof buf, kMaxFileBytes - text.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  LoadText(text);
  return true;
}

void ProfileFile::LoadText(const std::string& text) {
  mSections.clear();
  Parse(text);
}

void ProfileFile::Parse(const std::string& text) {
  Section* current = nullptr;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!isText(line)) continue;
    line = trim(line);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      const std::size_t close = line.find(']');
      if (close == std::string::npos) continue;
      const std::string name = trim(line.substr(1, close - 1));
      auto it = std::find_if(mSections.begin(), mSections.end(),
                             [&](const Section& s) { return sameName(s.name, name); });
      if (it == mSections.end()) {
        mSections.push_back({name, {}});
        current = &mSections.back();
      } else {
        current = &*it;
      }
      continue;
    }
    const std::size_t eq = line.find('=');
    if (!current || eq == std::string::npos) continue;  // entries before any section are not read
    const std::string key = trim(line.substr(0, eq));
    if (key.empty()) continue;
    const bool known = std::any_of(current->entries.begin(), current->entries.end(),
                                   [&](const Entry& e) { return sameName(e.key, key); });
    if (!known) current->entries.push_back({key, trim(line.substr(eq + 1))});
  }
}

const ProfileFile::Entry* ProfileFile::Find(const std::string& section, const std::string& key) const {
  for (const Section& s : mSections) {
    if (!sameName(s.name, section)) continue;
    for (const Entry& e : s.entries)
      if (sameName(e.key, key)) return &e;
  }
  return nullptr;
}

std::string ProfileFile::GetString(const std::string& section, const std::string& key, const std::string& fallback,
                                   std::size_t bufferSize) const {
  std::string value = fallback;
  if (const Entry* e = Find(section, key)) {
    value = e->value;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
      value = value.substr(1, value.size() - 2);
  }
  if (bufferSize == 0) return {};
  return CutText(value, bufferSize - 1);
}

long long ProfileFile::GetInt(const std::string& section, const std::string& key, long long fallback) const {
  const Entry* e = Find(section, key);
  if (!e) return fallback;
  const char* s = e->value.c_str();
  bool negative = false;
  if (*s == '-' || *s == '+') negative = *s++ == '-';
  long long v = 0;
  // Digits beyond what 32 bits hold keep the value at its limit rather than wrapping.
  for (; std::isdigit(static_cast<unsigned char>(*s)); ++s) v = std::min(v * 10 + (*s - '0'), 0xFFFFFFFFLL);
  return negative ? -v : v;
}

void ProfileFile::SetString(const std::string& section, const std::string& key, const std::string& value) {
  // Up to the first line break, without the bytes that would make the line unreadable.
  const std::string line = value.substr(0, value.find_first_of("\r\n"));
  std::string text;
  for (std::size_t i = 0, n = 0; i < line.size(); i += n ? n : 1)
    if ((n = textCharAt(line, i)) != 0) text.append(line, i, n);
  const std::string clean = storedValue(text);
  auto sec = std::find_if(mSections.begin(), mSections.end(),
                          [&](const Section& s) { return sameName(s.name, section); });
  if (sec == mSections.end()) {
    mSections.push_back({section, {}});
    sec = mSections.end() - 1;
  }
  for (Entry& e : sec->entries) {
    if (sameName(e.key, key)) {
      e.value = clean;
      return;
    }
  }
  sec->entries.push_back({key, clean});
}

std::string ProfileFile::Text() const {
  std::string out;
  for (const Section& s : mSections) {
    if (!out.empty()) out += '\n';
    out += '[' + s.name + "]\n";
    for (const Entry& e : s.entries) out += e.key + '=' + e.value + '\n';
  }
  return out;
}

bool ProfileFile::Save(const std::string& path) const {
  const std::string text = Text();
  return ReplaceFile(path, text.data(), text.size(), 0600);
}

}  // namespace platform
