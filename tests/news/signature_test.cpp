#include <gtest/gtest.h>
#include <sodium.h>

#include <random>
#include <string>

#include "news/news_keys.h"
#include "news/news_signature.h"
#include "tests/news/signing.h"

namespace corva {
namespace {

using test::signFeed;
using test::testKeyPair;

const std::string kSig86 = std::string(85, 'A') + "Q";  // 86 characters: 64 bytes

struct Split {
  bool ok;
  std::string body;
  std::string signature;
};

Split split(std::string_view feed) {
  Split s{false, "<body>", "<sig>"};
  s.ok = splitNewsSignature(feed, s.body, s.signature);
  return s;
}

TEST(NewsSignatureSplit, SignatureLineForms) {
  for (const char* feed :
       {"a\nsignature=X", "a\nsignature = X\n", "a\nsignature\t =  X  \n\r\n \n", "a\nsignature = X \r\n"}) {
    const Split s = split(feed);
    ASSERT_TRUE(s.ok) << feed;
    EXPECT_EQ(s.body, "a\n") << feed;
    EXPECT_EQ(s.signature, "X") << feed;
  }
  EXPECT_EQ(split("a\r\n\r\nsignature = X = Y").signature, "X = Y");
  EXPECT_EQ(split("a\r\n\r\nsignature = X").body, "a\r\n\r\n");
  const Split only = split("signature = X");
  EXPECT_TRUE(only.ok);
  EXPECT_EQ(only.body, "");

  for (const char* feed : {"", "\n\r \n", "a\nSignature = X", "a\n signature = X", "a\nsignatures = X", "a\nsignature",
                           "a\nsignature X", "a\nsignature = X\n\t", "signature = X\nb\n", "signatur"}) {
    const Split s = split(feed);
    EXPECT_FALSE(s.ok) << feed;
    EXPECT_EQ(s.body, "<body>") << feed;
    EXPECT_EQ(s.signature, "<sig>") << feed;
  }
}

TEST(NewsSignatureBase64, LengthsAndSkippedCharacters) {
  std::array<std::uint8_t, 64> sig{};
  EXPECT_TRUE(decodeNewsSignature(kSig86, sig));
  EXPECT_TRUE(decodeNewsSignature(kSig86 + "==", sig));
  EXPECT_TRUE(decodeNewsSignature(kSig86 + "=garbage!", sig));
  EXPECT_TRUE(decodeNewsSignature(" " + kSig86.substr(0, 40) + "\t \n" + kSig86.substr(40), sig));
  EXPECT_FALSE(decodeNewsSignature(kSig86.substr(0, 85), sig));  // 63 bytes
  EXPECT_FALSE(decodeNewsSignature(kSig86 + "A", sig));          // 65 bytes
  EXPECT_FALSE(decodeNewsSignature(kSig86 + "AAAA", sig));
  EXPECT_FALSE(decodeNewsSignature(kSig86.substr(0, 40) + "\r" + kSig86.substr(40), sig));
  EXPECT_FALSE(decodeNewsSignature("-" + kSig86.substr(1), sig));
  EXPECT_FALSE(decodeNewsSignature("_" + kSig86.substr(1), sig));
  EXPECT_FALSE(decodeNewsSignature("", sig));

  // Decoding agrees with a reference encoder on every byte value.
  std::array<std::uint8_t, 64> raw;
  for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<std::uint8_t>(i * 37 + 11);
  char text[sodium_base64_ENCODED_LEN(64, sodium_base64_VARIANT_ORIGINAL)];
  sodium_bin2base64(text, sizeof text, raw.data(), raw.size(), sodium_base64_VARIANT_ORIGINAL);
  ASSERT_TRUE(decodeNewsSignature(text, sig));
  EXPECT_EQ(sig, raw);
}

TEST(NewsSignatureVerify, BodyBytesAreSignedExactly) {
  const auto keys = testKeyPair(7);
  const std::string body = "latest = 1.0\r\n\r\n[message a]\ntext = x\n";
  const std::string feed = signFeed(body, keys);
  std::string out = "untouched";
  ASSERT_TRUE(verifyNewsSignature(feed, keys.publicKey, out));
  EXPECT_EQ(out, body);

  // Blanks after the "=" of the signature line and line ends after it do not matter.
  std::string spaced = feed;
  spaced.insert(spaced.rfind("signature = ") + 11, " \t ");
  spaced += "\r\n  \n";
  EXPECT_TRUE(verifyNewsSignature(spaced, keys.publicKey, out));

  auto refused = [&](const std::string& changedBody) {
    std::string kept = "untouched";
    const std::string sigLine = feed.substr(body.size());
    EXPECT_FALSE(verifyNewsSignature(changedBody + sigLine, keys.publicKey, kept));
    EXPECT_EQ(kept, "untouched");
  };
  refused("latest = 1.0\r\n[message a]\ntext = x\n");        // a blank line removed
  refused("latest = 1.0\r\n\r\n\n[message a]\ntext = x\n");  // a blank line added
  refused("latest = 1.0\r\n\r\n[message a]\r\ntext = x\n");  // LF turned into CR LF
  refused("latest = 1.0\r\n\r\n[message a]\ntext = x");      // line end before the signature
}

TEST(NewsSignatureVerify, EmptyBodyAndWrongKeys) {
  const auto keys = testKeyPair(7);
  const std::string onlySignature = signFeed("", keys);
  std::string out = "untouched";
  ASSERT_TRUE(verifyNewsSignature(onlySignature, keys.publicKey, out));
  EXPECT_EQ(out, "");

  out = "untouched";
  EXPECT_FALSE(verifyNewsSignature(onlySignature, testKeyPair(8).publicKey, out));
  EXPECT_FALSE(verifyNewsFeed(onlySignature, out));
  EXPECT_FALSE(verifyNewsFeedWithKeys(onlySignature, {}, out));
  EXPECT_EQ(out, "untouched");
}

TEST(NewsSignatureVerify, KeyTableTriesEveryKey) {
  ASSERT_EQ(kNewsPublicKeyCount, 2u);
  for (std::uint8_t seed : {1, 2}) {
    ASSERT_EQ(testKeyPair(seed).publicKey, kNewsPublicKeys[seed - 1]);
    const std::string body = "[message k]\ntext = key " + std::to_string(seed) + "\n";
    std::string out;
    EXPECT_TRUE(verifyNewsFeed(signFeed(body, testKeyPair(seed)), out));
    EXPECT_EQ(out, body);
  }
}

// A signature never verifies once one byte of the body, of the signed header or of
// the signature itself has changed.
TEST(NewsSignatureVerify, AnySingleByteChangeBreaksTheSignature) {
  const auto keys = testKeyPair(3);
  std::mt19937 random(20261209);
  const std::string alphabet = "abz019 =[]#\r\n\t-.,()\x80\xff";
  auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
  for (int round = 0; round < 200; ++round) {
    std::string body;
    const std::size_t length = 1 + pick(300);
    for (std::size_t i = 0; i < length; ++i) body += alphabet[pick(alphabet.size())];
    body += '\n';
    std::string out;
    ASSERT_TRUE(verifyNewsSignature(signFeed(body, keys), keys.publicKey, out)) << round;
    ASSERT_EQ(out, body);

    std::string changedBody = body;
    const std::size_t at = pick(body.size());
    changedBody[at] = static_cast<char>(changedBody[at] ^ (1 + pick(255)));
    const std::string sigLine = "signature = " + test::signatureBase64(body, keys) + "\n";
    EXPECT_FALSE(verifyNewsSignature(changedBody + sigLine, keys.publicKey, out)) << round;

    // A signature made over a header with one byte changed.
    std::string header = "corva-news-v1\n";
    const std::size_t h = pick(header.size());
    header[h] = static_cast<char>(header[h] ^ (1 + pick(255)));
    std::array<std::uint8_t, 64> raw;
    const std::string message = header + body;
    crypto_sign_detached(raw.data(), nullptr, reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                         keys.secretKey.data());
    char text[sodium_base64_ENCODED_LEN(64, sodium_base64_VARIANT_ORIGINAL)];
    sodium_bin2base64(text, sizeof text, raw.data(), raw.size(), sodium_base64_VARIANT_ORIGINAL);
    EXPECT_FALSE(verifyNewsSignature(body + "signature = " + text, keys.publicKey, out)) << round;

    // The right signature with one of its bytes changed.
    std::array<std::uint8_t, 64> good;
    ASSERT_TRUE(decodeNewsSignature(test::signatureBase64(body, keys), good));
    good[pick(good.size())] ^= static_cast<std::uint8_t>(1 + pick(255));
    sodium_bin2base64(text, sizeof text, good.data(), good.size(), sodium_base64_VARIANT_ORIGINAL);
    EXPECT_FALSE(verifyNewsSignature(body + "signature = " + text, keys.publicKey, out)) << round;
  }
}

}  // namespace
}  // namespace corva
