#pragma once
// The program's main window: the plug-in's editor as its only content, the menu bar
// (File: Preferences, Quit; Help: About, Read Manual), the keyboard shortcuts, and
// screenshots of the window.

#include <memory>
#include <string>
#include <vector>

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
  // How long a command-line screenshot waits at most for the window to settle.
  static constexpr unsigned kScreenshotLimitMs = 15000;

  explicit AppWindow(StandaloneHost& host);
  ~AppWindow();

  // Makes and shows the window with the editor in it; with a screenshot path, the
  // window saves itself there 500 ms later, once it has its final size and the editor
  // has drawn at that size, and closes.
  void Create();
  void Command(int command);
  void Present();
  // Closes the editor, destroys the host and ends the main loop.
  void Destroy();
  // Writes the editor's picture, drawn now, as a PNG file; false when nothing was written.
  bool SaveScreenshot(const std::string& path);
  // Whether the command-line screenshot was written.
  bool ScreenshotWritten() const { return mScreenshotWritten; }
  // The file a Save Screenshot command writes: the temporary folder, the title, a time stamp.
  static std::string ScreenshotPath();
  platform::MainWindow* Window() { return mWindow.get(); }

 private:
  void OpenEditor(unsigned long parent);
  void CloseEditor();
  // One look at the window for the command-line screenshot; false once it is done.
  bool ScreenshotWhenSettled(const std::string& path);
  // The editor's frame drawn now, as RGBA pixels; false while no editor is shown.
  bool CaptureEditor(std::vector<unsigned char>& rgba, int& w, int& h);
  // The editor's X connection (a Display*), or null while no editor is open.
  void* EditorDisplay();

  StandaloneHost* mHost;
  std::unique_ptr<platform::MainWindow> mWindow;
  bool mDestroyed = false;
  unsigned mEditorWatch = 0;
  unsigned mDisplayTimer = 0;
  bool mScreenshotWritten = false;
  unsigned mScreenshotLooks = 0;  // looks at the window since the delay
  unsigned mSettledLooks = 0;     // looks in a row that found the same, final size
  int mLookW = 0, mLookH = 0;
};

}  // namespace corva::app
