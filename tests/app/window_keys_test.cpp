// The program's window in this process under a private Xvfb display: the space bar and
// the trigger, a held space released by clicking another window, and resizing by the
// window's edge.

#include <atomic>

#include "app/app_window.h"
#include "platform/desktop.h"
#include "platform/main_window.h"
#include "tests/app/app_env.h"
#include "tests/app/x_display.h"

namespace corva::test {
namespace {

using namespace app;

void pumpFor(unsigned ms) {
  platform::AddTimer(ms, [] {
    platform::DesktopQuit();
    return false;
  });
  platform::DesktopRun();
}

// Runs an X tool while the window keeps handling its events.
void xdo(const std::vector<std::string>& args) {
  const pid_t pid = start(args);
  for (int i = 0; i < 500 && ::waitpid(pid, nullptr, WNOHANG) == 0; ++i) pumpFor(10);
}

double trigger(StandaloneHost& host) { return host.Plug()->GetParam(kTrigger)->Value(); }

TEST(ProgramKeys, SpaceBarPlaysTheTriggerOnlyWithTheOptionOnAndAClickElsewhereReleasesIt) {
  AppEnv env;
  Display display;
  ASSERT_TRUE(display.ok);
  int argc = 0;
  char** argv = nullptr;
  ASSERT_TRUE(platform::DesktopInit(&argc, &argv));
  env.writeSettings("[corva]\nspacetrig=1\n");
  StandaloneHost* host = StandaloneHost::Create();
  host->noIo = true;
  AppWindow window(*host);
  ASSERT_TRUE(host->Init());
  window.Create();
  pumpFor(500);
  ASSERT_NE(host->Plug()->GetUI(), nullptr);
  const std::string id = findWindow("Tembrix Audio Corva-1");
  ASSERT_FALSE(id.empty());
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
