#include "app/command_line.h"

namespace corva::app {

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine cl;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--screenshot") {
      if (i + 1 < args.size()) cl.screenshotPath = args[++i];
    } else if (args[i] == "--no-io") {
      cl.noIo = true;
    }
  }
  if (!cl.screenshotPath.empty()) cl.noIo = true;
  return cl;
}

}  // namespace corva::app
