#pragma once
// The table of public keys that news feeds are verified against. Exactly one
// key-table library defines it in each program, together with verifyNewsFeed.

#include <cstdint>

#include "news/news_signature.h"

namespace corva {

extern const NewsPublicKey kNewsPublicKeys[];
extern const std::uint64_t kNewsPublicKeyCount;

}  // namespace corva
