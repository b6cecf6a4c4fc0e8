// The program's window in this process under a private Xvfb display: the space bar and
// the trigger, a held space released by clicking another window, and resizing by the
// window's edge.

#include "platform/main_window.h"
#include "tests/app/window_in_process.h"

namespace corva::test {
namespace {

using namespace app;

TEST(ProgramKeys, SpaceBarPlaysTheTriggerOnlyWithTheOptionOnAndAClickElsewhereReleasesIt) {
  WindowInProcess program;
  ASSERT_TRUE(program.open());
  StandaloneHost* host = program.host;
  AppWindow& window = *program.window;
  const std::string& id = program.id;
  xdo({"xdotool", "mousemove", "--window", id, "200", "200"});

  // A held space, with the keyboard repeating: one press and one release.
  int presses = 0, releases = 0;
  double last = trigger(*host);
  const unsigned watch = platform::AddTimer(2, [&] {
    const double now = trigger(*host);
    if (now > 0.5 && last <= 0.5) ++presses;
    if (now <= 0.5 && last > 0.5) ++releases;
    last = now;
    return true;
  });
  xdo({"xdotool", "keydown", "space"});
  pumpFor(900);
  EXPECT_EQ(trigger(*host), 1.0);
  xdo({"xdotool", "keyup", "space"});
  pumpFor(200);
  EXPECT_EQ(presses, 1);
  EXPECT_EQ(releases, 1);

  // Held, then a click on another window: released although the key is still down.
  platform::MainWindow other("Another program", {});
  other.SetContentSize(200, 100);
  other.Show();
  pumpFor(300);
  xdo({"xdotool", "keydown", "space"});
  pumpFor(200);
  EXPECT_EQ(trigger(*host), 1.0);
  const std::string otherId = findWindow("Another program");
  xdo({"xdotool", "mousemove", "--window", otherId, "50", "50", "click", "1"});
  pumpFor(300);
  EXPECT_EQ(trigger(*host), 0.0);
  xdo({"xdotool", "keyup", "space"});

  // With the option off the space bar plays nothing.
  host->SetSpaceTrigger(false);
  xdo({"xdotool", "mousemove", "--window", id, "200", "200"});
  xdo({"xdotool", "keydown", "space"});
  pumpFor(200);
  EXPECT_EQ(trigger(*host), 0.0);
  xdo({"xdotool", "keyup", "space"});
  platform::RemoveTimer(watch);

  // Dragging the window wider: the editor keeps its proportions.
  xdo({"xdotool", "windowsize", id, "972", "700"});
  pumpFor(800);
  const int w = host->Plug()->GetEditorWidth(), h = host->Plug()->GetEditorHeight();
  EXPECT_EQ(w, 972);
  EXPECT_NEAR(static_cast<double>(w) / h, 648.0 / 431.0, 0.01);
  window.Destroy();
}

}  // namespace
}  // namespace corva::test
