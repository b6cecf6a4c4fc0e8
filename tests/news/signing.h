#pragma once
// Test-only feed signing with key pairs made from a repeated seed byte.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "news/news_signature.h"

namespace corva::test {

struct TestKeyPair {
  NewsPublicKey publicKey{};
  std::array<std::uint8_t, 64> secretKey{};
};

// The key pair whose seed is 32 copies of seedByte; seeds 1 and 2 are the test key table.
TestKeyPair testKeyPair(std::uint8_t seedByte);

// Standard Base64 (with "=" padding) of the Ed25519 signature over the signed message.
std::string signatureBase64(std::string_view body, const TestKeyPair& keys);

// body + "signature = " + the signature + "\n".
std::string signFeed(std::string_view body, const TestKeyPair& keys);

}  // namespace corva::test
