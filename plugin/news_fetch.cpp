#include "plugin/news_fetch.h"

#include <ctime>

#include "model/data_folder.h"
#include "news/news_signature.h"
#include "platform/https_get.h"
#include "plugin/news_cache.h"
#include "plugin/plug_config.h"

namespace corva {

std::string newsFeedUrl() { return std::string("https://") + kMfrHost + "/corva/news.txt"; }

void fetchNewsFeed() {
  std::string feed;
  if (!httpsGet(newsFeedUrl().c_str(), kNewsUserAgent, feed)) return;
  std::string body;
  if (!verifyNewsFeed(feed, body)) return;
  // A failed write keeps the old cache; the next opening of the editor fetches again.
  (void)writeNewsCache(feed, static_cast<std::int64_t>(std::time(nullptr)), dataFolder());
}

}  // namespace corva
