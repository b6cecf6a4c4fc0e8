#pragma once
// The program's main window: the plug-in's editor as its only content, the menu bar
// (File: Preferences, Quit; Help: About, Read Manual), the keyboard shortcuts, and
// screenshots of the window.

#include <memory>
#include <string>

namespace platform {
class MainWindow;
}

namespace corva::app {

class StandaloneHost;

enum AppCommand {
  kCmdAbout = 40005,
  kCmdPreferences = 40006,
  kCmdQuit = 40007,
  kCmdReadManual = 40008,
  kCmdSaveScreenshot = 40029,
};

class AppWindow {
 public:
  static constexpr const char* kTitle = "Tembrix Audio Corva-1";
  static constexpr unsigned kScreenshotDelayMs = 500;

  explicit AppWindow(StandaloneHost& host);
  ~AppWindow();

  // Makes and shows the window with the editor in it; with a screenshot path, the
  // window saves itself there 500 ms later and closes.
  void Create();
  void Command(int command);
  void Present();
  // Closes the editor, destroys the host and ends the main loop.
  void Destroy();
  bool SaveScreenshot(const std::string& path);
  // The file a Save Screenshot command writes: the temporary folder, the title, a time stamp.
  static std::string ScreenshotPath();
  platform::MainWindow* Window() { return mWindow.get(); }

 private:
  void OpenEditor(unsigned long parent);
  void CloseEditor();
  // The editor's X connection (a Display*), or null while no editor is open.
  void* EditorDisplay();

  StandaloneHost* mHost;
  std::unique_ptr<platform::MainWindow> mWindow;
  bool mDestroyed = false;
  unsigned mEditorWatch = 0;
  unsigned mDisplayTimer = 0;
};

}  // namespace corva::app
