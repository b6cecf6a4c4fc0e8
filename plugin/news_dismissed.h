#pragma once
// The ids of the news notices the user closed, "news-dismissed.txt" in the data folder:
// one id per line, each ended by a line feed, oldest first. Shared by the standalone
// program and every plug-in instance.

#include <string>
#include <vector>

namespace corva {

std::string dismissedPath(const std::string& folder);

// The ids on file, in file order, repeats included. One carriage return before each
// line feed is dropped and empty lines are skipped; nothing else is trimmed. A missing
// or unreadable file gives an empty list. A file that has grown past a whole-file read
// gives its newest ids that fit in one.
std::vector<std::string> loadDismissed(const std::string& folder);

// Records id as dismissed: true when it is on file afterwards (it already was, or the
// file was replaced with it appended). A known id does not rewrite the file. When the
// list would outgrow a whole-file read, its oldest ids are dropped. Processes that
// dismiss at the same moment take turns, so neither id is lost.
[[nodiscard]] bool dismissNotice(const std::string& id, const std::string& folder);

}  // namespace corva
