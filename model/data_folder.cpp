#include "model/data_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

// The process id in a temporary name "<pid>.<n>" (what follows "<file>.tmp."), or 0 when
// the name is not of that form.
long tempNamePid(const char* rest) {
  long pid = 0;
  const char* p = rest;
  for (; *p >= '0' && *p <= '9' && pid <= 0x7FFFFFFF; ++p) pid = pid * 10 + (*p - '0');
  if (p == rest || *p != '.' || pid > 0x7FFFFFFF) return 0;
  const char* n = ++p;
  while (*p >= '0' && *p <= '9') ++p;
  return p != n && *p == '\0' ? pid : 0;
}

// Removes the temporary files of path that processes no longer running left behind (a
// writer killed mid-write), so that they do not pile up. Only names of the form this
// file's writes use are touched, and a link among them is removed, never followed.
void removeStaleTemporaries(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const std::string prefix = path.substr(slash == std::string::npos ? 0 : slash + 1) + ".tmp.";
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  const long self = static_cast<long>(::getpid());
  while (const dirent* e = ::readdir(dir)) {
    if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) != 0) continue;
    const long pid = tempNamePid(e->d_name + prefix.size());
    if (pid <= 0 || pid == self) continue;
    // Only a process that does not exist is stale; one we may not signal still runs.
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    ::unlinkat(::dirfd(dir), e->d_name, 0);
  }
  ::closedir(dir);
}

// Creates a new temporary file for path and opens it for writing. The name is taken
// exclusively: an entry already there (a link included) is never opened or followed, and
// the next number is tried instead.
int createTemporary(const std::string& path, std::string& temp) {
  const std::string prefix = path + ".tmp." + std::to_string(static_cast<long>(::getpid())) + ".";
  for (int attempt = 0; attempt < 64; ++attempt) {
    temp = prefix + std::to_string(gTempFileCounter.fetch_add(1));
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
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
  removeStaleTemporaries(path);
  std::string temp;
  const int fd = createTemporary(path, temp);
  if (fd < 0) return false;
  std::FILE* f = ::fdopen(fd, "wb");
  if (f == nullptr) {
    ::close(fd);
    std::remove(temp.c_str());
    return false;
  }
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
