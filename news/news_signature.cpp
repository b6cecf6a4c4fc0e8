// Splitting, decoding and Ed25519 verification of the news feed's signature line.

#include "news/news_signature.h"

#include <sodium.h>

#include "news/news_feed.h"

namespace corva {

namespace {

constexpr std::string_view kSignatureKeyword = "signature";
constexpr std::string_view kSignedHeader = "corva-news-v1\n";

int base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool sodiumReady() {
  static const bool ready = sodium_init() >= 0;
  return ready;
}

}  // namespace

bool splitNewsSignature(std::string_view feed, std::string& body, std::string& signatureText) {
  std::size_t end = feed.size();
  while (end > 0 && (feed[end - 1] == '\n' || feed[end - 1] == '\r' || feed[end - 1] == ' ')) {
    --end;
  }
  if (end == 0) return false;
  const std::size_t lastFeed = feed.rfind('\n', end - 1);
  const std::size_t lineStart = lastFeed == std::string_view::npos ? 0 : lastFeed + 1;
  const std::string_view line = feed.substr(lineStart, end - lineStart);
  if (!line.starts_with(kSignatureKeyword)) return false;
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  if (!trimBlanks(line.substr(kSignatureKeyword.size(), eq - kSignatureKeyword.size())).empty()) {
    return false;
  }
  body.assign(feed.substr(0, lineStart));
  signatureText = trimBlanks(line.substr(eq + 1));
  return true;
}

bool decodeNewsSignature(std::string_view text, std::array<std::uint8_t, 64>& signature) {
  std::array<std::uint8_t, 64> out{};
  std::size_t length = 0;
  std::uint32_t accumulator = 0;
  int bits = 0;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\n') continue;
    if (c == '=') break;
    const int value = base64Value(c);
    if (value < 0) return false;
    accumulator = ((accumulator << 6) | static_cast<std::uint32_t>(value)) & 0xFFFFu;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      // More than 64 bytes can never verify; stop before overrunning the buffer.
      if (length == out.size()) return false;
      out[length++] = static_cast<std::uint8_t>((accumulator >> bits) & 0xFFu);
    }
  }
  if (length != out.size()) return false;
  signature = out;
  return true;
}

bool verifyNewsSignature(std::string_view feed, const NewsPublicKey& publicKey, std::string& body) {
  return verifyNewsFeedWithKeys(feed, {&publicKey, 1}, body);
}

bool verifyNewsFeedWithKeys(std::string_view feed, std::span<const NewsPublicKey> keys, std::string& body) {
  std::string splitBody;
  std::string signatureText;
  if (!splitNewsSignature(feed, splitBody, signatureText)) return false;
  std::array<std::uint8_t, 64> signature;
  if (!decodeNewsSignature(signatureText, signature)) return false;
  if (!sodiumReady()) return false;

  // The signed message is the header followed by the body bytes unchanged; it is
  // built once and checked against each key in turn.
  std::string message;
  message.reserve(kSignedHeader.size() + splitBody.size());
  message.append(kSignedHeader).append(splitBody);
  const auto* bytes = reinterpret_cast<const unsigned char*>(message.data());
  for (const NewsPublicKey& key : keys) {
    if (crypto_sign_verify_detached(signature.data(), bytes, message.size(), key.data()) == 0) {
      body = std::move(splitBody);
      return true;
    }
  }
  return false;
}

}  // namespace corva
