#pragma once
// The news feed cache "news-cache.txt" in the data folder: the last verified feed with
// the time it was fetched. Layout, byte for byte:
//   "fetched = " <seconds since 1970-01-01 UTC in decimal> LF <the feed exactly as received>

#include <cstdint>
#include <string>

namespace corva {

struct NewsCache {
  std::uint8_t valid = 0;  // the file was read and its first line is well formed
  std::int64_t fetched = 0;
  std::string text;  // the feed as received, signature line included
};

// A cache younger than this many seconds needs no new fetch.
inline constexpr std::int64_t kNewsCacheMaxAgeSeconds = 3600;

std::string newsCachePath(const std::string& folder);

// The cache record of folder's cache file; invalid (fetched 0, empty text) when the file
// is missing, unreadable, larger than a whole-file read allows, or its first line is
// anything but "fetched = " and one or more decimal digits.
NewsCache readNewsCache(const std::string& folder);

// True when the cache is valid and was fetched at most kNewsCacheMaxAgeSeconds - 1
// seconds before now; a fetch time in the future is not fresh.
bool isNewsCacheFresh(const NewsCache& cache, std::int64_t now);

// Replaces the cache file with feedText fetched at now, creating the folder when needed.
// False when nothing was written; the old file then stays.
[[nodiscard]] bool writeNewsCache(const std::string& feedText, std::int64_t now, const std::string& folder);

}  // namespace corva
