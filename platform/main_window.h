#pragma once
// A program's main window: a title, a menu bar with keyboard shortcuts, and one content
// area holding a native child window (the X11 window handed to an embedded view). Key
// events reach the window's shortcuts first, then the content's key function, whichever
// child has the pointer or the focus.

#include <functional>
#include <string>
#include <vector>

namespace platform {

struct KeyEvent {
  int code = 0;       // 32 Space, 27 Escape, 13 Return, 'A'..'Z', '0'..'9', else 0
  char text[5] = {};  // the key's UTF-8 text
  bool shift = false;
  bool control = false;
  bool alt = false;
};

class MainWindow {
 public:
  struct MenuItem {
    std::string menu;         // the top-level menu it sits in, e.g. "_File"
    std::string label;        // "_Preferences..."
    std::string accelerator;  // GTK accelerator text, e.g. "<Control>comma"; may be empty
    int command = 0;
  };

  MainWindow(const std::string& title, const std::vector<MenuItem>& menu);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // A shortcut that is not on the menu; command 0 consumes the key and does nothing.
  void AddShortcut(const std::string& accelerator, int command);

  std::function<void(int command)> onCommand;
  // The content area's native window exists (an X11 window id) / is about to go.
  std::function<void(unsigned long nativeWindow)> onContentRealize;
  std::function<void()> onContentUnrealize;
  // The content area got a new size in pixels.
  std::function<void(int w, int h)> onContentResize;
  // A key went down or up; true when it was used.
  std::function<bool(const KeyEvent& key, bool up)> onKey;
  // The user asked to close the window.
  std::function<void()> onCloseRequest;

  // Content size in pixels, its limits, and the size rule: given the content's new size,
  // true when it is acceptable, else false with the size it should have, which the
  // window then takes (after the user drags an edge).
  void SetContentSize(int w, int h);
  void SetContentLimits(int minW, int minH, int maxW, int maxH);
  std::function<bool(int& w, int& h)> constrainContent;
  // The content area's size now, in pixels.
  void ContentSize(int& w, int& h) const;

  void Show();
  void Present();
  // Centres the window on its screen.
  void Centre();
  // The GtkWindow, for dialogs it owns.
  void* Handle() const;
  // The main window whose content area is `nativeWindow` (an X11 window id) or holds it,
  // such as the window of an editor embedded there; null when none does.
  static MainWindow* Holding(unsigned long nativeWindow);
  // While a modal dialog is open, keys and shortcuts are not passed on.
  void SetModalOpen(bool open);
  bool ModalOpen() const { return mModal > 0; }

  struct Impl;

 private:
  Impl* mImpl;
  int mModal = 0;
};

}  // namespace platform
