#include "tests/news/signing.h"

#include <sodium.h>

#include <stdexcept>

namespace corva::test {

TestKeyPair testKeyPair(std::uint8_t seedByte) {
  if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
  std::array<std::uint8_t, 32> seed;
  seed.fill(seedByte);
  TestKeyPair keys;
  crypto_sign_seed_keypair(keys.publicKey.data(), keys.secretKey.data(), seed.data());
  return keys;
}

std::string signatureBase64(std::string_view body, const TestKeyPair& keys) {
  const std::string message = "corva-news-v1\n" + std::string(body);
  std::array<std::uint8_t, 64> signature;
  crypto_sign_detached(signature.data(), nullptr, reinterpret_cast<const unsigned char*>(message.data()),
                       message.size(), keys.secretKey.data());
  char text[sodium_base64_ENCODED_LEN(64, sodium_base64_VARIANT_ORIGINAL)];
  sodium_bin2base64(text, sizeof text, signature.data(), signature.size(), sodium_base64_VARIANT_ORIGINAL);
  return text;
}

std::string signFeed(std::string_view body, const TestKeyPair& keys) {
  return std::string(body) + "signature = " + signatureBase64(body, keys) + "\n";
}

}  // namespace corva::test
