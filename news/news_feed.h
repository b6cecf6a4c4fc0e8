#pragma once
// Records of the news feed and its parser. The parser is a pure function of the
// feed body (the text before the signature line): it never fails as a whole, it
// drops only the blocks that are wrong and reports each problem as a diagnostic.

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corva {

// A version number; "1.2" reads as 1.2.0. Ordered by major, then minor, then patch.
struct NewsVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t patch = 0;

  friend auto operator<=>(const NewsVersion&, const NewsVersion&) = default;
};

// A calendar date. Ordered by year, then month, then day.
struct NewsDate {
  std::int32_t year = 0;
  std::int32_t month = 0;
  std::int32_t day = 0;

  friend auto operator<=>(const NewsDate&, const NewsDate&) = default;
};

// How the running version must relate to a message's version for the message to apply.
enum VersionOp : std::int32_t {
  kLess = 0,          // "<"
  kLessEqual = 1,     // "<="
  kEqual = 2,         // "="
  kGreaterEqual = 3,  // ">="
  kGreater = 4,       // ">"
};

// One run of a message's text: plain text, or a link with its label and address.
struct NewsSegment {
  std::uint8_t isLink = 0;
  std::string text;
  std::string url;

  friend bool operator==(const NewsSegment&, const NewsSegment&) = default;
};

// One message block, with the values a block starts from.
struct NewsMessage {
  std::string id;
  std::uint8_t alert = 0;
  std::vector<NewsSegment> segments;
  std::uint8_t onMac = 1;
  std::uint8_t onWin = 1;
  std::uint8_t hasVersionCond = 0;
  VersionOp versionOp = kEqual;
  NewsVersion version;
  std::uint8_t audienceFirst = 1;
  std::uint8_t audienceSecond = 1;
  std::uint8_t hasFrom = 0;
  NewsDate from;
  std::uint8_t hasUntil = 0;
  NewsDate until;

  friend bool operator==(const NewsMessage&, const NewsMessage&) = default;
};

// The result of one parse.
struct NewsFeed {
  std::uint8_t hasLatest = 0;  // an update is announced with a readable version and an https url
  NewsVersion latest;          // meaningful only when hasLatest is 1
  std::string latestUrl;       // the top-level "url" value as given
  std::vector<NewsMessage> messages;
};

// One finding of the parser; line numbers count every line from 1.
struct NewsDiagnostic {
  std::uint32_t line = 0;
  std::uint8_t isError = 0;
  std::string text;

  friend bool operator==(const NewsDiagnostic&, const NewsDiagnostic&) = default;
};

// Parses a verified feed body. Diagnostics are appended to *diagnostics in the order
// found; a null pointer drops them.
NewsFeed parseNewsFeed(std::string_view body, std::vector<NewsDiagnostic>* diagnostics);

// Value syntaxes of the feed. Each returns false when the text breaks its syntax;
// the outputs of parseVersion, parseVersionCondition and parseNewsDate are written
// only on success.
[[nodiscard]] bool parseVersion(std::string_view text, NewsVersion& version);
[[nodiscard]] bool parseVersionCondition(std::string_view text, VersionOp& op, NewsVersion& version);
[[nodiscard]] bool parseNewsDate(std::string_view text, NewsDate& date);
// Clears both flags, then sets one per item of the comma-separated list.
[[nodiscard]] bool parsePlatforms(std::string_view text, std::uint8_t& mac, std::uint8_t& win);
// Appends the segments of the text markup, where links are written [label](address).
[[nodiscard]] bool parseNewsText(std::string_view text, std::vector<NewsSegment>& segments);
bool isHttpsUrl(std::string_view text);

// The text without leading and trailing blanks (space, tab, carriage return).
std::string trimBlanks(std::string_view text);

void addNewsDiagnostic(std::vector<NewsDiagnostic>* sink, std::uint32_t line, bool isError, std::string text);

}  // namespace corva
