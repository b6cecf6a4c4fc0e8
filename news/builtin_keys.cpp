// The built-in table of news feed public keys. Feeds are signed outside this
// program, by the maker, with the private key that matches this public key.

#include "news/news_keys.h"

namespace corva {

const NewsPublicKey kNewsPublicKeys[] = {
    {0x5b, 0x55, 0xd1, 0xce, 0xb6, 0x95, 0x32, 0xe3, 0x8d, 0x36, 0x86, 0xbb, 0x27, 0xed, 0xc1, 0x83,
     0x1d, 0x41, 0x92, 0x95, 0xe6, 0xd8, 0x46, 0x0e, 0x55, 0x8f, 0x98, 0xff, 0xd1, 0xd4, 0x53, 0xd2},
};
const std::uint64_t kNewsPublicKeyCount = sizeof(kNewsPublicKeys) / sizeof(kNewsPublicKeys[0]);

bool verifyNewsFeed(std::string_view feed, std::string& body) {
  return verifyNewsFeedWithKeys(feed, {kNewsPublicKeys, kNewsPublicKeyCount}, body);
}

}  // namespace corva
