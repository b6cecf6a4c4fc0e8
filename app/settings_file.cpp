// The settings file: $XDG_CONFIG_HOME (else ~/.config) /QVTCorva1/settings.ini.

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include "app/standalone_host.h"
#include "platform/profile_file.h"

namespace corva::app {

namespace {

std::string settingsFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (config && *config) {
    base = config;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && *home ? home : ".") + "/.config";
  }
  return base + "/QVTCorva1/";
}

// Creates each missing level of `folder`; false when a level cannot be made or exists
// as something other than a folder.
bool makeFolders(const std::string& folder) {
  for (std::size_t at = 1; at <= folder.size(); ++at) {
    if (at != folder.size() && folder[at] != '/') continue;
    const std::string level = folder.substr(0, at);
    struct stat st;
    if (::stat(level.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) return false;
      continue;
    }
    if (::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

}  // namespace

bool StandaloneHost::LoadSettings() {
  const std::string folder = settingsFolder();
  (void)makeFolders(folder);  // a folder that cannot be made is not reported
  settingsPath = folder + "settings.ini";
  // A missing file leaves the defaults.
  platform::ProfileFile file;
  if (file.Load(settingsPath)) ReadSettings(file, state);
  // Values outside their lists or ranges take their defaults; the write below stores them.
  RepairSettings(state);
  SetSpaceTrigger(state.spaceTrigger != 0);
  SaveSettings();
  return true;
}

void StandaloneHost::SaveSettings() {
  if (settingsPath.empty()) return;
  platform::ProfileFile file;
  // Keys of other sections survive; a file that cannot be read is simply rewritten.
  (void)file.Load(settingsPath);
  WriteSettings(file, state);
  (void)file.Save(settingsPath);  // a failed write is not reported: the values stay in memory
}

}  // namespace corva::app
