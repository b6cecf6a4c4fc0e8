#pragma once
// The background job that brings the signed news feed into the feed cache.

#include <string>

#include "model/version.h"

namespace corva {

// "https://" + the maker's web server + "/corva/news.txt".
std::string newsFeedUrl();
inline constexpr char kNewsUserAgent[] = "QVT-Corva/" CORVA_VERSION_TEXT " (linux)";

// Downloads the feed, checks its signature and, only when both succeed, stores the text
// as received (signature line included) with the current time in the data folder's
// cache. Every failure leaves the cache as it was and is not reported: the interface
// rebuilds its notices from whatever cache there is once the worker counts the job.
void fetchNewsFeed();

}  // namespace corva
