#include "app/app_window.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <vector>

#include "app/preferences.h"
#include "app/standalone_host.h"
#include "framework/igraphics_linux.h"
#include "platform/desktop.h"
#include "platform/main_window.h"
#include "platform/png_file.h"

namespace corva::app {

namespace {
constexpr unsigned kDisplayIntervalMs = 16;
// The command-line screenshot looks at the window this often, and takes it once the
// window has kept its final size for a few looks in a row.
constexpr unsigned kSettleIntervalMs = 20;
constexpr unsigned kSettledLooks = 3;
constexpr unsigned kAudioWatchMs = 250;
using Lock = std::lock_guard<std::recursive_mutex>;
}  // namespace

AppWindow::AppWindow(StandaloneHost& host) : mHost(&host) {}

AppWindow::~AppWindow() { Destroy(); }

void AppWindow::Create() {
  mWindow = std::make_unique<platform::MainWindow>(kTitle,
                                                   std::vector<platform::MainWindow::MenuItem>{
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
  mWindow->onContentResize = [this](int w, int h) {
    if (!mHost) return;
    Lock lock(mHost->Plug()->InterfaceMutex());
    if (mHost->Plug()->GetHostResizeEnabled() && mHost->Plug()->GetUI()) mHost->Plug()->OnParentWindowResize(w, h);
  };
  // Keys reach the editor whichever child window has them; the window's shortcuts come first.
  mWindow->onKey = [this](const platform::KeyEvent& k, bool up) {
    if (!mHost) return false;
    Lock lock(mHost->Plug()->InterfaceMutex());
    iplug::igraphics::IGraphics* ui = mHost->Plug()->GetUI();
    if (!ui) return false;
    const iplug::igraphics::IKeyPress key(k.text, k.code, k.shift, k.control, k.alt);
    return up ? ui->OnKeyUp(0.f, 0.f, key) : ui->OnKeyDown(0.f, 0.f, key);
  };

  iplug::IPlugAPP* plug = mHost->Plug();
  const int w = plug->GetEditorWidth() > 0 ? plug->GetEditorWidth() : 648;
  const int h = plug->GetEditorHeight() > 0 ? plug->GetEditorHeight() : 431;
  if (plug->GetHostResizeEnabled()) {
    mWindow->SetContentLimits(plug->GetMinWidth(), plug->GetMinHeight(), plug->GetMaxWidth(), plug->GetMaxHeight());
    // The editor's own rule: the edge that moved most leads, the other follows.
    mWindow->constrainContent = [this](int& cw, int& ch) {
      if (!mHost) return true;
      Lock lock(mHost->Plug()->InterfaceMutex());
      return mHost->Plug()->ConstrainEditorResize(cw, ch);
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
  // The stream is watched from the main loop: a server that goes away is noticed, and the
  // stream reopened once it is back. The timer ends with the window. What the watch says
  // opens from a timer of its own, so that the watch goes on (and reopens the stream)
  // while the message is shown.
  platform::AddTimer(kAudioWatchMs, [this] {
    if (!mHost) return false;
    std::function<void(const char*, const char*)> shown = std::move(mHost->messageBox);
    mHost->messageBox = [this](const char* text, const char* title) {
      platform::AddTimer(0, [this, t = std::string(text), ti = std::string(title)] {
        if (mWindow && !mDestroyed) platform::ShowMessageBox(mWindow.get(), t, ti, platform::MessageButtons::kOk);
        return false;
      });
    };
    mHost->WatchAudio();
    mHost->messageBox = std::move(shown);
    return true;
  });
  if (!mHost->screenshotPath.empty()) {
    const std::string path = mHost->screenshotPath;
    platform::AddTimer(kScreenshotDelayMs, [this, path] {
      if (!mDestroyed) platform::AddTimer(kSettleIntervalMs, [this, path] { return ScreenshotWhenSettled(path); });
      return false;
    });
  }
}

// The editor opens in the content area exactly as a host embeds it: the area's native
// window is its parent. Its window events and its frames are driven from the main loop.
void AppWindow::OpenEditor(unsigned long parent) {
  if (!mHost) return;
  iplug::IPlugAPP* plug = mHost->Plug();
  {
    Lock lock(plug->InterfaceMutex());
    if (!plug->OpenWindow(reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent)))) return;
  }
  if (void* display = EditorDisplay()) {
    mEditorWatch = platform::WatchXConnection(display, [this] {
      if (!mHost) return;
      Lock lock(mHost->Plug()->InterfaceMutex());
      if (auto* ui = mHost->Plug()->GetUI()) ui->ProcessEvents();
    });
  }
  mDisplayTimer = platform::AddTimer(kDisplayIntervalMs, [this] {
    if (!mHost) return false;
    Lock lock(mHost->Plug()->InterfaceMutex());
    if (auto* ui = mHost->Plug()->GetUI()) ui->OnDisplayTick();
    return true;
  });
}

void AppWindow::CloseEditor() {
  platform::RemoveWatch(mEditorWatch);
  platform::RemoveTimer(mDisplayTimer);
  mEditorWatch = mDisplayTimer = 0;
  if (!mHost) return;
  Lock lock(mHost->Plug()->InterfaceMutex());
  mHost->Plug()->CloseWindow();
}

void* AppWindow::EditorDisplay() {
  if (!mHost) return nullptr;
  Lock lock(mHost->Plug()->InterfaceMutex());
  iplug::igraphics::IGraphics* ui = mHost->Plug()->GetUI();
  // Only the X11 window has an event connection.
  if (!ui || ui->GetEventFd() < 0) return nullptr;
  return static_cast<iplug::igraphics::IGraphicsLinux*>(ui)->GetDisplay();
}

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

bool AppWindow::ScreenshotWhenSettled(const std::string& path) {
  if (mDestroyed || !mHost || !mWindow) return false;
  int cw = 0, ch = 0, ew = 0, eh = 0;
  mWindow->ContentSize(cw, ch);
  {
    Lock lock(mHost->Plug()->InterfaceMutex());
    ew = mHost->Plug()->GetEditorWidth();
    eh = mHost->Plug()->GetEditorHeight();
  }
  // Final: the content area holds the whole editor, and has for a few looks.
  const bool final = cw > 1 && ch > 1 && cw == ew && ch == eh;
  mSettledLooks = final && cw == mLookW && ch == mLookH ? mSettledLooks + 1 : 0;
  mLookW = cw;
  mLookH = ch;
  if (mSettledLooks >= kSettledLooks) {
    std::vector<unsigned char> rgba;
    int w = 0, h = 0;
    // The picture is the frame drawn now, at the size the window has.
    if (CaptureEditor(rgba, w, h) && w == cw && h == ch) {
      mScreenshotWritten = platform::SavePng(path, rgba, w, h);
      Destroy();
      return false;
    }
  }
  // A window that never settles ends the program all the same, with no file.
  if (++mScreenshotLooks * kSettleIntervalMs >= kScreenshotLimitMs) {
    Destroy();
    return false;
  }
  return true;
}

bool AppWindow::CaptureEditor(std::vector<unsigned char>& rgba, int& w, int& h) {
  if (!mHost) return false;
  Lock lock(mHost->Plug()->InterfaceMutex());
  iplug::igraphics::IGraphics* ui = mHost->Plug()->GetUI();
  if (!ui || ui->GetEventFd() < 0) return false;
  return static_cast<iplug::igraphics::IGraphicsLinux*>(ui)->CaptureFrame(rgba, w, h);
}

bool AppWindow::SaveScreenshot(const std::string& path) {
  std::vector<unsigned char> rgba;
  int w = 0, h = 0;
  return CaptureEditor(rgba, w, h) && platform::SavePng(path, rgba, w, h);
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
        (void)platform::OpenWithDesktop(path);  // the message already named the saved file
      }
      break;
    }
    default:
      break;
  }
}

}  // namespace corva::app
