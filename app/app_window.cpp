#include "app/app_window.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

#include "app/preferences.h"
#include "app/standalone_host.h"
#include "platform/desktop.h"
#include "platform/main_window.h"

namespace corva::app {

AppWindow::AppWindow(StandaloneHost& host) : mHost(&host) {}

AppWindow::~AppWindow() { Destroy(); }

void AppWindow::Create() {
  mWindow = std::make_unique<platform::MainWindow>(
      kTitle, std::vector<platform::MainWindow::MenuItem>{
                  {"_File", "_Preferences...", "<Control>comma", kCmdPreferences},
                  {"_File", "_Quit", "", kCmdQuit},
                  {"_Help", "_About", "", kCmdAbout},
                  {"_Help", "_Read Manual", "", kCmdReadManual},
              });
  // Ctrl+Shift+S saves a screenshot; Ctrl+B, Ctrl+D, Ctrl+E and Ctrl+F are taken and do
  // nothing, so they never reach the editor.
  mWindow->AddShortcut("<Control><Shift>s", kCmdSaveScreenshot);
  for (const char* key : {"<Control>b", "<Control>d", "<Control>e", "<Control>f"}) mWindow->AddShortcut(key, 0);
  mWindow->onCommand = [this](int command) { Command(command); };
  mWindow->onCloseRequest = [this] { Destroy(); };
  mWindow->onContentRealize = [this](unsigned long xid) { OpenEditor(xid); };
  mWindow->onContentUnrealize = [this] { CloseEditor(); };

  iplug::IPlugAPP* plug = mHost->Plug();
  const int w = plug->GetEditorWidth() > 0 ? plug->GetEditorWidth() : 648;
  const int h = plug->GetEditorHeight() > 0 ? plug->GetEditorHeight() : 431;
  if (plug->GetHostResizeEnabled()) {
    mWindow->SetContentLimits(plug->GetMinWidth(), plug->GetMinHeight(), plug->GetMaxWidth(), plug->GetMaxHeight());
    mWindow->heightForWidth = [this](int width) {
      int cw = width, ch = mHost ? mHost->Plug()->GetEditorHeight() : 0;
      if (mHost) {
        std::lock_guard<std::recursive_mutex> lock(mHost->Plug()->InterfaceMutex());
        mHost->Plug()->ConstrainEditorResize(cw, ch);
      }
      return ch;
    };
  } else {
    mWindow->SetContentLimits(w, h, w, h);
  }
  mWindow->SetContentSize(w, h);
  mWindow->Centre();
  mWindow->Show();
  mHost->messageBox = [this](const char* text, const char* title) {
    platform::ShowMessageBox(mWindow.get(), text, title, platform::MessageButtons::kOk);
  };
  if (!mHost->screenshotPath.empty()) {
    const std::string path = mHost->screenshotPath;
    platform::AddTimer(kScreenshotDelayMs, [this, path] {
      (void)SaveScreenshot(path);  // a failed command-line screenshot ends the program all the same
      Destroy();
      return false;
    });
  }
}

void AppWindow::OpenEditor(unsigned long) {}

void AppWindow::CloseEditor() {}

void AppWindow::Present() {
  if (mWindow) mWindow->Present();
}

void AppWindow::Destroy() {
  if (mDestroyed || !mWindow) return;
  mDestroyed = true;
  CloseEditor();
  if (mHost) mHost->messageBox = nullptr;
  mHost = nullptr;
  StandaloneHost::Destroy();
  mWindow.reset();
  platform::DesktopQuit();
}

bool AppWindow::SaveScreenshot(const std::string& path) {
  return mWindow && mWindow->SaveContentPng(path, nullptr);
}

std::string AppWindow::ScreenshotPath() {
  char stamp[32] = {};
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(stamp, sizeof stamp, "%Y%m%d_%H%M%S", &local);
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = tmp && *tmp ? tmp : "/tmp/";
  if (folder.back() != '/') folder += '/';
  return folder + kTitle + "_screenshot_" + stamp + ".png";
}

void AppWindow::Command(int command) {
  if (!mHost) return;
  iplug::IPlugAPP* plug = mHost->Plug();
  switch (command) {
    case kCmdAbout: {
      bool shown;
      {
        std::lock_guard<std::recursive_mutex> lock(plug->InterfaceMutex());
        shown = plug->OnHostRequestingAboutBox();
      }
      if (!shown) {
        char text[50];
        std::snprintf(text, sizeof text, "%s Tembrix Audio\nBuilt on %s", &__DATE__[7], __DATE__);
        platform::ShowMessageBox(mWindow.get(), text, kTitle, platform::MessageButtons::kOk);
      }
      break;
    }
    case kCmdPreferences:
      if (RunPreferences(*mHost, mWindow.get()) == 1) mHost->SaveSettings();
      break;
    case kCmdQuit:
      Destroy();
      break;
    case kCmdReadManual: {
      bool shown;
      {
        std::lock_guard<std::recursive_mutex> lock(plug->InterfaceMutex());
        shown = plug->OnHostRequestingProductHelp();
      }
      if (!shown) platform::ShowMessageBox(mWindow.get(), "See the manual", kTitle, platform::MessageButtons::kOk);
      break;
    }
    case kCmdSaveScreenshot: {
      const std::string path = ScreenshotPath();
      if (!SaveScreenshot(path)) {
        platform::ShowMessageBox(mWindow.get(), "Failed to save screenshot", "Error", platform::MessageButtons::kOk);
      } else if (platform::ShowMessageBox(mWindow.get(), "Screenshot saved to:\n" + path + "\n\nOpen it?",
                                         "Screenshot Saved",
                                         platform::MessageButtons::kYesNo) == platform::MessageResult::kYes) {
        platform::OpenWithDesktop(path);
      }
      break;
    }
    default:
      break;
  }
}

}  // namespace corva::app
