// The standalone program Corva: one instance per user session; the command line; the
// host with its devices; the main window and its loop.

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "app/app_window.h"
#include "app/command_line.h"
#include "app/standalone_host.h"
#include "platform/desktop.h"
#include "platform/single_instance.h"

using namespace corva::app;

int main(int argc, char** argv) {
  // A second start asks the running program to show its window and ends.
  platform::SingleInstance instance("QVTCorva1");
  if (instance.Acquire() == platform::SingleInstance::Result::kOtherAsked) {
    std::printf("Corva is already running for this user and display; its window was brought to the front\n");
    return 0;
  }

  try {
    if (!platform::DesktopInit(&argc, &argv)) {
      const char* display = std::getenv("DISPLAY");
      if (display && *display)
        std::fprintf(stderr, "Corva: cannot open the display \"%s\"; the program needs a window\n", display);
      else std::fprintf(stderr, "Corva: no display is set (DISPLAY is empty); the program needs a window\n");
      return 2;
    }
    StandaloneHost* host = StandaloneHost::Create();
    const CommandLine cl = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    host->screenshotPath = cl.screenshotPath;
    host->noIo = cl.noIo;

    AppWindow window(*host);
    host->Init();
    window.Create();
    // The audio settings are applied once the window shows, so that a message about
    // them appears over it.
    host->ApplyAudioSettings();

    if (instance.Fd() >= 0) {
      platform::WatchFd(instance.Fd(), [&] {
        if (instance.TakeRequests() > 0) window.Present();
      });
    }
    platform::DesktopRun();
    window.Destroy();
    // A command-line screenshot that wrote no file is a failure, without a message box.
    if (!cl.screenshotPath.empty() && !window.ScreenshotWritten()) {
      std::fprintf(stderr, "Corva: no screenshot was written to %s\n", cl.screenshotPath.c_str());
      return 1;
    }
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Corva: %s\n", e.what());
    return 1;
  }
}
