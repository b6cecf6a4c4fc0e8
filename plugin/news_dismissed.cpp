#include "plugin/news_dismissed.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string_view>
#include <thread>

#include "model/data_folder.h"

namespace corva {

namespace {

std::vector<std::string> splitIds(std::string_view text) {
  std::vector<std::string> ids;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) ids.emplace_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return ids;
}

// The last whole lines of a file too large for a whole-file read, at most that many
// bytes; a line cut by the start of the window is left out.
bool readNewestLines(const std::string& path, std::string& out) {
  out.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::size_t>(st.st_size) > kMaxWholeFileBytes;
  if (ok) {
    // One byte before the window tells whether its first line starts whole.
    const off_t from = st.st_size - static_cast<off_t>(kMaxWholeFileBytes) - 1;
    out.resize(kMaxWholeFileBytes + 1);
    std::size_t got = 0;
    while (got < out.size()) {
      const ssize_t n = ::pread(fd, out.data() + got, out.size() - got, from + static_cast<off_t>(got));
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    ok = got == out.size();
    // Drop the byte before the window, or the cut line up to its end.
    const std::size_t firstEnd = out.find('\n');
    if (ok) out.erase(0, firstEnd == std::string::npos ? out.size() : firstEnd + 1);
  }
  ::close(fd);
  if (!ok) out.clear();
  return ok;
}

// Holds an exclusive lock on the data folder while the dismissed file is read and
// replaced, so that two processes dismissing at once do not drop each other's id. A lock
// that stays taken for long (a stuck process) is given up on rather than waited for.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder) : fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd < 0) return;
    for (int attempt = 0; attempt < 400; ++attempt) {
      if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  ~FolderLock() {
    if (fd >= 0) ::close(fd);  // closing releases the lock
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd;
};

}  // namespace

std::string dismissedPath(const std::string& folder) { return folder + pathSeparator() + "news-dismissed.txt"; }

std::vector<std::string> loadDismissed(const std::string& folder) {
  const std::string path = dismissedPath(folder);
  std::string content;
  const int status = readWholeFile(path, content);
  if (status == kReadTooLarge) {
    if (!readNewestLines(path, content)) return {};
  } else if (status != kReadOk) {
    return {};
  }
  return splitIds(content);
}

bool dismissNotice(const std::string& id, const std::string& folder) {
  if (!makeDirs(folder)) return false;
  FolderLock lock(folder);
  // Read under the lock, so that ids another process is adding are not lost.
  std::vector<std::string> ids = loadDismissed(folder);
  if (std::find(ids.begin(), ids.end(), id) != ids.end()) return true;
  ids.push_back(id);
  // The file must stay readable whole: the oldest ids make room for the newest.
  std::size_t total = 0;
  for (const std::string& entry : ids) total += entry.size() + 1;
  std::size_t first = 0;
  while (total > kMaxWholeFileBytes && first + 1 < ids.size()) total -= ids[first++].size() + 1;
  std::string content;
  content.reserve(total);
  for (std::size_t i = first; i < ids.size(); ++i) {
    content += ids[i];
    content += '\n';
  }
  return writeFileAtomic(dismissedPath(folder), content);
}

}  // namespace corva
