#pragma once
// The program's command line: "--screenshot PATH" and "--no-io".

#include <string>
#include <vector>

namespace corva::app {

struct CommandLine {
  std::string screenshotPath;  // empty: none
  bool noIo = false;           // open no audio or MIDI device
};

// Reads the arguments after the program's name, each as given (a path may hold blanks).
// "--screenshot" takes the next argument as the path; as the last argument it is
// ignored. "--no-io" must match exactly. Other arguments are ignored.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

}  // namespace corva::app
