// The news feed parser: lines, section headers, key lines, message blocks and the
// update announcement.

#include "news/news_feed.h"

#include <unordered_set>

namespace corva {

namespace {

constexpr std::size_t kMaxIdLength = 48;
constexpr std::string_view kMessagePrefix = "message ";

bool isValidId(std::string_view id) {
  if (id.empty() || id.size() > kMaxIdLength) return false;
  for (char c : id) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
    if (!ok) return false;
  }
  return true;
}

struct ParserState {
  NewsFeed feed;
  std::vector<NewsDiagnostic>* sink = nullptr;
  bool inBlock = false;
  bool blockValid = false;
  NewsMessage message;
  std::uint32_t headerLine = 0;
  std::string latestText;
  std::uint32_t latestLine = 0;
  std::unordered_set<std::string> ids;

  void error(std::uint32_t line, std::string text) { addNewsDiagnostic(sink, line, true, std::move(text)); }
  void warning(std::uint32_t line, std::string text) { addNewsDiagnostic(sink, line, false, std::move(text)); }
  std::string messageDiagnostic(std::string_view what) const {
    return "message " + message.id + " : " + std::string(what);
  }
};

// Ends the current block: a valid block with a text and a sound date window
// becomes a message of the feed.
void finishNewsBlock(ParserState& state) {
  if (!state.inBlock) return;
  if (state.blockValid && state.message.segments.empty()) {
    state.error(state.headerLine, state.messageDiagnostic("text absent"));
    state.blockValid = false;
  }
  if (state.blockValid && state.message.hasFrom && state.message.hasUntil && state.message.until < state.message.from) {
    state.error(state.headerLine, state.messageDiagnostic("until avant from"));
    state.blockValid = false;
  }
  if (state.blockValid) state.feed.messages.push_back(state.message);
  state.inBlock = false;
}

void openBlock(ParserState& state, const std::string& line, std::uint32_t lineNumber) {
  finishNewsBlock(state);
  state.inBlock = true;
  state.blockValid = true;
  state.message = NewsMessage{};
  state.headerLine = lineNumber;

  const std::string inside = trimBlanks(std::string_view(line).substr(1, line.size() - 2));
  if (!inside.starts_with(kMessagePrefix)) {
    state.error(lineNumber, "bloc inconnu : " + line);
    state.blockValid = false;
    return;
  }
  state.message.id = trimBlanks(std::string_view(inside).substr(kMessagePrefix.size()));
  if (!isValidId(state.message.id)) {
    state.error(lineNumber, "id invalide : " + state.message.id);
    state.blockValid = false;
    return;
  }
  if (!state.ids.insert(state.message.id).second) {
    state.error(lineNumber, "id en double : " + state.message.id);
    state.blockValid = false;
  }
}

void applyTopLevelKey(ParserState& state, const std::string& key, const std::string& value, std::uint32_t lineNumber) {
  if (key == "latest") {
    state.latestText = value;
    state.latestLine = lineNumber;
  } else if (key == "url") {
    state.feed.latestUrl = value;
  } else if (key != "signature") {
    state.warning(lineNumber, "cle inconnue : " + key);
  }
}

// Applies one key of a valid message block. Returns false when the key is known
// but its value is unreadable.
bool applyMessageKey(ParserState& state, const std::string& key, const std::string& value, std::uint32_t lineNumber) {
  NewsMessage& m = state.message;
  if (key == "text") {
    m.segments.clear();
    return parseNewsText(value, m.segments) && !m.segments.empty();
  }
  if (key == "level") {
    if (value != "info" && value != "alerte") return false;
    m.alert = value == "alerte" ? 1 : 0;
    return true;
  }
  if (key == "platforms") return parsePlatforms(value, m.onMac, m.onWin);
  if (key == "versions") {
    if (!parseVersionCondition(value, m.versionOp, m.version)) return false;
    m.hasVersionCond = 1;
    return true;
  }
  if (key == "audience") {
    if (value == "demo") {
      m.audienceFirst = 1;
      m.audienceSecond = 0;
    } else if (value == "licencie") {
      m.audienceFirst = 0;
      m.audienceSecond = 1;
    } else if (value == "tous") {
      m.audienceFirst = 1;
      m.audienceSecond = 1;
    } else {
      return false;
    }
    return true;
  }
  if (key == "from") {
    if (!parseNewsDate(value, m.from)) return false;
    m.hasFrom = 1;
    return true;
  }
  if (key == "until") {
    if (!parseNewsDate(value, m.until)) return false;
    m.hasUntil = 1;
    return true;
  }
  state.warning(lineNumber, "cle inconnue : " + key);
  return true;
}

void readKeyLine(ParserState& state, const std::string& line, std::uint32_t lineNumber) {
  const std::size_t eq = line.find('=');
  if (eq == std::string::npos) {
    state.error(lineNumber, "ligne sans = : " + line);
    if (state.inBlock) state.blockValid = false;
    return;
  }
  const std::string key = trimBlanks(std::string_view(line).substr(0, eq));
  const std::string value = trimBlanks(std::string_view(line).substr(eq + 1));
  if (!state.inBlock) {
    applyTopLevelKey(state, key, value, lineNumber);
  } else if (state.blockValid && !applyMessageKey(state, key, value, lineNumber)) {
    state.error(lineNumber, state.messageDiagnostic("valeur illisible pour " + key));
    state.blockValid = false;
  }
}

void readLatest(ParserState& state) {
  if (state.latestText.empty()) return;
  NewsVersion version;
  if (!parseVersion(state.latestText, version)) {
    state.error(state.latestLine, "latest illisible : " + state.latestText);
    return;
  }
  state.feed.latest = version;
  if (!isHttpsUrl(state.feed.latestUrl)) {
    state.error(state.latestLine, "latest sans url https");
    return;
  }
  state.feed.hasLatest = 1;
}

}  // namespace

NewsFeed parseNewsFeed(std::string_view body, std::vector<NewsDiagnostic>* diagnostics) {
  ParserState state;
  state.sink = diagnostics;
  std::uint32_t lineNumber = 0;
  std::size_t start = 0;
  // Lines end at each line feed; a final line feed does not start another line.
  while (start < body.size()) {
    std::size_t end = body.find('\n', start);
    if (end == std::string_view::npos) end = body.size();
    ++lineNumber;
    const std::string line = trimBlanks(body.substr(start, end - start));
    start = end + 1;

    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
      openBlock(state, line, lineNumber);
    } else {
      readKeyLine(state, line, lineNumber);
    }
  }
  finishNewsBlock(state);
  readLatest(state);
  return std::move(state.feed);
}

}  // namespace corva
