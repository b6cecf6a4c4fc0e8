// Writes arbitrary bytes as both the feed cache and the dismissed-notice file of a
// private folder, reads them back, and checks what must hold for every file.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model/data_folder.h"
#include "plugin/news_cache.h"
#include "plugin/news_dismissed.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

// A private folder, removed when the fuzzer exits.
struct Folder {
  Folder() { check(::mkdtemp(path.data()) != nullptr); }
  ~Folder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string path = "/tmp/corva-news-fuzz-XXXXXX";
};

const std::string& folder() {
  static const Folder made;
  return made.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corva;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::ofstream(newsCachePath(folder()), std::ios::binary | std::ios::trunc) << bytes;
  std::ofstream(dismissedPath(folder()), std::ios::binary | std::ios::trunc) << bytes;

  const NewsCache cache = readNewsCache(folder());
  if (cache.valid) {
    check(bytes.compare(0, 10, "fetched = ") == 0);
    check(cache.fetched >= 0);
    check(bytes.size() >= cache.text.size() + 12);
    check(bytes.compare(bytes.size() - cache.text.size(), cache.text.size(), cache.text) == 0);
  } else {
    check(cache.fetched == 0 && cache.text.empty());
    check(!isNewsCacheFresh(cache, 0));
  }

  const std::vector<std::string> ids = loadDismissed(folder());
  for (const std::string& id : ids) check(!id.empty() && id.find('\n') == std::string::npos);

  // A new dismissal keeps the file readable whole, with the new id last.
  check(dismissNotice("fuzz-id", folder()));
  const std::vector<std::string> after = loadDismissed(folder());
  check(!after.empty());
  bool found = false;
  for (const std::string& id : after) found = found || id == "fuzz-id";
  check(found);
  std::string content;
  check(readWholeFile(dismissedPath(folder()), content) == kReadOk);
  return 0;
}
