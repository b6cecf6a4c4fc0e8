// The value syntaxes of the news feed: versions, version conditions, dates,
// platform lists, https addresses and the link markup of message texts.

#include "news/news_feed.h"

#include <array>

namespace corva {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view trimView(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// One version part: 1 to 6 decimal digits, leading zeros allowed.
bool parseVersionPart(std::string_view part, std::uint32_t& value) {
  if (part.empty() || part.size() > 6) return false;
  std::uint32_t v = 0;
  for (char c : part) {
    if (!isDigit(c)) return false;
    v = v * 10 + static_cast<std::uint32_t>(c - '0');
  }
  value = v;
  return true;
}

bool isLeapYear(std::int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

std::int32_t digitsValue(std::string_view text) {
  std::int32_t v = 0;
  for (char c : text) v = v * 10 + (c - '0');
  return v;
}

}  // namespace

std::string trimBlanks(std::string_view text) { return std::string(trimView(text)); }

void addNewsDiagnostic(std::vector<NewsDiagnostic>* sink, std::uint32_t line, bool isError, std::string text) {
  if (sink == nullptr) return;
  sink->push_back(NewsDiagnostic{line, static_cast<std::uint8_t>(isError ? 1 : 0), std::move(text)});
}

bool isHttpsUrl(std::string_view text) {
  if (text.size() < 9 || !text.starts_with("https://")) return false;
  return text.find_first_of(std::string_view(" \t\"<>", 5)) == std::string_view::npos;
}

bool parseVersion(std::string_view text, NewsVersion& version) {
  std::array<std::uint32_t, 3> parts{0, 0, 0};
  std::size_t count = 0;
  std::size_t start = 0;
  while (true) {
    const std::size_t dot = text.find('.', start);
    const std::string_view part = dot == std::string_view::npos ? text.substr(start) : text.substr(start, dot - start);
    if (count == parts.size() || !parseVersionPart(part, parts[count])) return false;
    ++count;
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  if (count < 2) return false;
  version = NewsVersion{parts[0], parts[1], parts[2]};
  return true;
}

bool parseVersionCondition(std::string_view text, VersionOp& op, NewsVersion& version) {
  // Two-character operators first, so that "<=" is not read as "<" followed by "=".
  struct OpText {
    std::string_view text;
    VersionOp op;
  };
  static constexpr std::array<OpText, 5> kOps{{
      {"<=", kLessEqual},
      {">=", kGreaterEqual},
      {"<", kLess},
      {">", kGreater},
      {"=", kEqual},
  }};
  for (const OpText& candidate : kOps) {
    if (!text.starts_with(candidate.text)) continue;
    NewsVersion parsed;
    if (!parseVersion(trimView(text.substr(candidate.text.size())), parsed)) return false;
    op = candidate.op;
    version = parsed;
    return true;
  }
  return false;
}

bool parseNewsDate(std::string_view text, NewsDate& date) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i != 4 && i != 7 && !isDigit(text[i])) return false;
  }
  const std::int32_t year = digitsValue(text.substr(0, 4));
  const std::int32_t month = digitsValue(text.substr(5, 2));
  const std::int32_t day = digitsValue(text.substr(8, 2));
  static constexpr std::array<std::int32_t, 12> kDaysInMonth{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return false;
  const std::int32_t monthLength = kDaysInMonth[static_cast<std::size_t>(month - 1)] +
                                   (month == 2 && isLeapYear(year) ? 1 : 0);
  if (day < 1 || day > monthLength) return false;
  date = NewsDate{year, month, day};
  return true;
}

bool parsePlatforms(std::string_view text, std::uint8_t& mac, std::uint8_t& win) {
  mac = 0;
  win = 0;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    const std::string_view item = trimView(comma == std::string_view::npos ? text.substr(start)
                                                                           : text.substr(start, comma - start));
    if (item == "mac") {
      mac = 1;
    } else if (item == "win") {
      win = 1;
    } else {
      return false;
    }
    if (comma == std::string_view::npos) return true;
    start = comma + 1;
  }
}

bool parseNewsText(std::string_view text, std::vector<NewsSegment>& segments) {
  std::string pending;
  // The first "]" at or after the current position, kept between "[" so that a text
  // full of "[" is scanned once rather than once per bracket.
  std::size_t close = text.find(']');
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '[') {
      if (close != std::string_view::npos && close < i) close = text.find(']', i);
      const std::size_t j = close;
      if (j != std::string_view::npos && j + 1 < text.size() && text[j + 1] == '(') {
        if (j + 2 >= text.size()) return false;
        const std::size_t k = text.find(')', j + 2);
        if (k == std::string_view::npos) return false;
        const std::string_view url = text.substr(j + 2, k - (j + 2));
        if (!isHttpsUrl(url)) return false;
        if (!pending.empty()) {
          segments.push_back(NewsSegment{0, std::move(pending), {}});
          pending.clear();
        }
        segments.push_back(NewsSegment{1, std::string(text.substr(i + 1, j - (i + 1))), std::string(url)});
        i = k + 1;
        continue;
      }
    }
    pending.push_back(text[i]);
    ++i;
  }
  if (!pending.empty()) segments.push_back(NewsSegment{0, std::move(pending), {}});
  return true;
}

}  // namespace corva
