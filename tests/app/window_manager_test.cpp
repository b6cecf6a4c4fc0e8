// The program's window in this process on a private Xvfb display, first without a window
// manager and then under openbox, which reparents it into a frame of its own: a held
// space bar plays the trigger for the whole hold with the keyboard's auto-repeat on and
// off; a screenshot of a window partly off the screen shows the whole editor; dragging
// only the window's height makes the editor follow the height.

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include "stb_image.h"

#include <chrono>

#include "tests/app/window_in_process.h"

namespace corva::test {
namespace {

using namespace app;
using Clock = std::chrono::steady_clock;

struct Hold {
  int presses = 0, releases = 0;
  double heldSeconds = 0;  // from the trigger's rise to its fall
  double atEnd = 0;        // the trigger just before the key goes up
};

// Holds the space bar for 2.5 s over the window, watching the trigger every 2 ms.
Hold holdSpace(StandaloneHost& host, const std::string& window, const char* repeat) {
  xdo({"xset", "r", repeat});
  xdo({"xdotool", "mousemove", "--window", window, "200", "200"});
  pumpFor(200);
  Hold hold;
  double last = trigger(host);
  Clock::time_point rose{};
  const unsigned watch = platform::AddTimer(2, [&] {
    const double now = trigger(host);
    if (now > 0.5 && last <= 0.5 && hold.presses++ == 0) rose = Clock::now();
    if (now <= 0.5 && last > 0.5 && hold.releases++ == 0)
      hold.heldSeconds = std::chrono::duration<double>(Clock::now() - rose).count();
    last = now;
    return true;
  });
  xdo({"xdotool", "keydown", "space"});
  pumpFor(2500);
  hold.atEnd = trigger(host);
  xdo({"xdotool", "keyup", "space"});
  pumpFor(300);
  platform::RemoveTimer(watch);
  return hold;
}

void expectWholeHold(StandaloneHost& host, const std::string& window) {
  for (const char* repeat : {"on", "off"}) {
    SCOPED_TRACE(std::string("auto-repeat ") + repeat);
    const Hold hold = holdSpace(host, window, repeat);
    EXPECT_EQ(hold.atEnd, 1.0);
    EXPECT_EQ(hold.presses, 1);
    EXPECT_EQ(hold.releases, 1);
    // The key is down for 2.5 s; a busy machine may see the trigger's rise late.
    EXPECT_GT(hold.heldSeconds, 2.0);
  }
}

// The share of pure black pixels in a PNG file, or 1 when it cannot be read.
double blackShare(const std::string& path, int& w, int& h) {
  int n = 0;
  unsigned char* px = stbi_load(path.c_str(), &w, &h, &n, 3);
  if (!px) return 1.0;
  std::size_t black = 0;
  const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  for (std::size_t i = 0; i < count; ++i) black += px[3 * i] == 0 && px[3 * i + 1] == 0 && px[3 * i + 2] == 0;
  stbi_image_free(px);
  return static_cast<double>(black) / static_cast<double>(count);
}

TEST(ProgramWindowManager, HeldSpaceScreenshotAndHeightDrag) {
  WindowInProcess program;
  ASSERT_TRUE(program.open());
  StandaloneHost* host = program.host;
  AppWindow& window = *program.window;
  const std::string& id = program.id;

  {
    SCOPED_TRACE("no window manager");
    expectWholeHold(*host, id);
  }

  // Partly off the screen, the screenshot still shows the whole editor.
  xdo({"xdotool", "windowmove", id, "-300", "-200"});
  pumpFor(300);
  const std::string shot = program.env.path + "/off-screen.png";
  ASSERT_TRUE(window.SaveScreenshot(shot));
  int w = 0, h = 0;
  EXPECT_LT(blackShare(shot, w, h), 0.02);
  EXPECT_EQ(w, 648);
  EXPECT_EQ(h, 431);
  xdo({"xdotool", "windowmove", id, "100", "100"});

  // openbox takes the window into a frame of its own and makes it the active window.
  const pid_t wm = start({"openbox"});
  ASSERT_GT(wm, 0);
  for (int i = 0; i < 250 && xdo({"xdotool", "getactivewindow"}) != id; ++i) {
    xdo({"xdotool", "windowactivate", id});
    pumpFor(20);
  }
  ASSERT_EQ(xdo({"xdotool", "getactivewindow"}), id);
  {
    SCOPED_TRACE("openbox");
    expectWholeHold(*host, id);
  }

  // A drag of the height alone: the height leads and the width follows it.
  xdo({"xdotool", "windowsize", id, "648", "700"});
  pumpFor(1000);
  const int ew = host->Plug()->GetEditorWidth(), eh = host->Plug()->GetEditorHeight();
  EXPECT_GT(eh, 600);
  EXPECT_GT(ew, 900);
  EXPECT_NEAR(static_cast<double>(ew) / eh, 648.0 / 431.0, 0.01);
  window.Destroy();
  stop(wm);
}

}  // namespace
}  // namespace corva::test
