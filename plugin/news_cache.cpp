#include "plugin/news_cache.h"

#include <cstdlib>

#include "model/data_folder.h"

namespace corva {

namespace {
constexpr char kFetchedPrefix[] = "fetched = ";
constexpr std::size_t kFetchedPrefixLength = sizeof kFetchedPrefix - 1;
}  // namespace

std::string newsCachePath(const std::string& folder) { return folder + pathSeparator() + "news-cache.txt"; }

NewsCache readNewsCache(const std::string& folder) {
  std::string content;
  if (readWholeFile(newsCachePath(folder), content) != kReadOk) return {};
  const std::size_t lineEnd = content.find('\n');
  if (lineEnd == std::string::npos) return {};
  if (content.compare(0, kFetchedPrefixLength, kFetchedPrefix) != 0) return {};
  if (lineEnd <= kFetchedPrefixLength) return {};  // no digits
  for (std::size_t i = kFetchedPrefixLength; i < lineEnd; ++i) {
    if (content[i] < '0' || content[i] > '9') return {};
  }
  NewsCache cache;
  // Digits only up to the line feed, so strtoll stops there; a run beyond the range
  // gives the largest value.
  cache.fetched = std::strtoll(content.c_str() + kFetchedPrefixLength, nullptr, 10);
  cache.text = content.substr(lineEnd + 1);
  cache.valid = 1;
  return cache;
}

bool isNewsCacheFresh(const NewsCache& cache, std::int64_t now) {
  return cache.valid && now >= cache.fetched && now - cache.fetched < kNewsCacheMaxAgeSeconds;
}

bool writeNewsCache(const std::string& feedText, std::int64_t now, const std::string& folder) {
  if (!makeDirs(folder)) return false;
  std::string content = kFetchedPrefix + std::to_string(now) + "\n";
  content += feedText;
  return writeFileAtomic(newsCachePath(folder), content);
}

}  // namespace corva
