#pragma once
// The signed news feed: the body followed by one last line
// "signature = <Base64 of a 64-byte Ed25519 signature>". The signature covers the
// header "corva-news-v1\n" followed by the body bytes exactly as they stand.
// Every failure is a plain false; the caller's outputs are then left untouched.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace corva {

using NewsPublicKey = std::array<std::uint8_t, 32>;

// Splits the signature line off the feed. Trailing line feeds, carriage returns and
// spaces at the very end of the feed are disregarded.
[[nodiscard]] bool splitNewsSignature(std::string_view feed, std::string& body, std::string& signatureText);

// Decodes standard Base64, skipping spaces, tabs and line feeds and stopping at the
// first "="; true only when the text gives exactly 64 bytes.
[[nodiscard]] bool decodeNewsSignature(std::string_view text, std::array<std::uint8_t, 64>& signature);

// Checks the feed's signature against one public key; body is written only on success.
[[nodiscard]] bool verifyNewsSignature(std::string_view feed, const NewsPublicKey& publicKey, std::string& body);

// Checks the feed against each key of a table in order; true at the first that verifies.
[[nodiscard]] bool verifyNewsFeedWithKeys(std::string_view feed, std::span<const NewsPublicKey> keys,
                                          std::string& body);

// Checks the feed against the program's key table. Defined by the key-table library
// linked into the program (the built-in table, or a test table in test programs).
[[nodiscard]] bool verifyNewsFeed(std::string_view feed, std::string& body);

}  // namespace corva
