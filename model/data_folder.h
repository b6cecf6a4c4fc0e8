#pragma once
// The per-user data folder shared by the standalone program and the plug-in, and the
// file helpers every file of that folder goes through. All functions may run on any
// thread; the only shared state is the counter in temporary file names.

#include <string>

namespace corva {

// The separator used to join every per-user path: "/".
const char* pathSeparator();

// $XDG_DATA_HOME, else $HOME/.local/share, else "." (an empty variable counts as
// unset), followed by /Tembrix/QVTCorva1. The folder is not created here.
std::string dataFolder();

// Creates every level of path. True when every level exists as a directory afterwards;
// a level that exists as anything else fails. An empty path is true.
[[nodiscard]] bool makeDirs(const std::string& path);

// Result codes of readWholeFile.
enum ReadResult : int {
  kReadOk = 0,
  kReadCannotOpen = 1,  // missing, unreadable, or not a regular file
  kReadError = 2,
  kReadTooLarge = 3  // more than kMaxWholeFileBytes; out holds what was read so far
};
inline constexpr std::size_t kMaxWholeFileBytes = 65536;

// Reads the whole file into out (cleared first). A file of exactly 65536 bytes is read
// completely; a larger one gives kReadTooLarge.
int readWholeFile(const std::string& path, std::string& out);

// Replaces the file at path with data: writes "<path>.tmp.<pid>.<n>" (n counts up from 0
// in each process), flushes it to disk and renames it over path in one step.
// The temporary file is created new: a name that is taken (by a link, say) is skipped
// for the next n, never written through. Temporary files of path left by processes that
// no longer run are removed first. On any failure the temporary file is removed and the
// file at path is left as it was.
[[nodiscard]] bool writeFileAtomic(const std::string& path, const std::string& data);

}  // namespace corva
