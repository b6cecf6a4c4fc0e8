#include "model/data_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace corva {
namespace {

std::atomic<std::uint32_t> gTempFileCounter{0};

bool isDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates one level; a level that already exists is fine only when it is a directory.
bool makeLevel(const std::string& prefix) {
  if (::mkdir(prefix.c_str(), 0777) == 0) return true;
  return isDirectory(prefix);
}

const char* nonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0' ? value : nullptr;
}

// The base of the data folder: $XDG_DATA_HOME, else $HOME/.local/share, else the working
// directory. The strings are constructed and appended to rather than assigned or joined
// with operator+: GCC 12 at -O3 misreads those as overlapping copies (-Wrestrict).
std::string dataHome() {
  if (const char* xdg = nonEmptyEnv("XDG_DATA_HOME")) return std::string(xdg);
  if (const char* home = nonEmptyEnv("HOME")) {
    std::string base(home);
    base.append(pathSeparator()).append(".local").append(pathSeparator()).append("share");
    return base;
  }
  return std::string(".");
}

}  // namespace

const char* pathSeparator() { return "/"; }

std::string dataFolder() {
  std::string folder = dataHome();
  folder.append(pathSeparator()).append("Tembrix").append(pathSeparator()).append("QVTCorva1");
  return folder;
}

bool makeDirs(const std::string& path) {
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (path[i] != '/') continue;
    if (i > 0 && !makeLevel(path.substr(0, i))) return false;
    if (i + 1 == path.size()) return true;  // a trailing separator made the last level
  }
  return path.empty() || makeLevel(path);
}

int readWholeFile(const std::string& path, std::string& out) {
  out.clear();
  // Non-blocking open and a type check: a FIFO or a device in place of a data file
  // must not hang the caller.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return kReadCannotOpen;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return kReadCannotOpen;
  }
  std::FILE* f = ::fdopen(fd, "rb");
  if (f == nullptr) {
    ::close(fd);
    return kReadCannotOpen;
  }
  bool tooLarge = false;
  char chunk[4096];
  for (;;) {
    const std::size_t n = std::fread(chunk, 1, sizeof chunk, f);
    out.append(chunk, n);
    if (out.size() > kMaxWholeFileBytes) {
      tooLarge = true;
      break;
    }
    if (n < sizeof chunk) break;
  }
  const bool readError = std::ferror(f) != 0;
  std::fclose(f);
  if (readError) return kReadError;
  return tooLarge ? kReadTooLarge : kReadOk;
}

bool writeFileAtomic(const std::string& path, const std::string& data) {
  const std::uint32_t n = gTempFileCounter.fetch_add(1);
  const std::string temp = path + ".tmp." + std::to_string(static_cast<long>(::getpid())) +
                           "." + std::to_string(n);
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (f == nullptr) return false;
  const std::size_t written = std::fwrite(data.data(), 1, data.size(), f);
  bool ok = written == data.size() && std::fflush(f) == 0;
  // The data must be on disk before the rename makes it the file, or a crash could
  // leave an empty file in place of the old one.
  if (ok && ::fsync(::fileno(f)) != 0 && errno != EINVAL) ok = false;
  if (std::fclose(f) != 0) ok = false;
  // rename replaces the old file in one step: readers see the old or the new file,
  // never neither, and a failed rename leaves the old file in place.
  if (ok && std::rename(temp.c_str(), path.c_str()) == 0) return true;
  std::remove(temp.c_str());
  return false;
}

}  // namespace corva
