#pragma once
// The desktop session of a program with windows (GTK 3 on X11): start-up, the main loop,
// timers, watched file descriptors, message boxes and opening files with the desktop's
// default application. Everything here runs on the main thread.

#include <functional>
#include <string>

namespace platform {

class MainWindow;

// Connects to the display; false when there is none (no DISPLAY, or it cannot be opened).
[[nodiscard]] bool DesktopInit(int* argc, char*** argv);
void DesktopRun();
void DesktopQuit();

// Calls fn every `ms` milliseconds on the main thread until it returns false or the
// timer is removed. Returns the timer's id.
unsigned AddTimer(unsigned ms, std::function<bool()> fn);
void RemoveTimer(unsigned id);
// Calls onReadable whenever fd is readable, until the program ends.
void WatchFd(int fd, std::function<void()> onReadable);
// Calls dispatch whenever the X connection `display` (a Display*) has events, read or
// already queued, at the priority of window events. Returns the watch's id.
unsigned WatchXConnection(void* display, std::function<void()> dispatch);
// Ends a watch or a timer.
void RemoveWatch(unsigned id);

enum class MessageButtons { kOk, kYesNo };
enum class MessageResult { kOk, kYes, kNo };
// A modal message box over `owner` (may be null). Without a display it prints the text
// on standard error and answers kOk (kNo for a question).
MessageResult ShowMessageBox(MainWindow* owner, const std::string& text, const std::string& title,
                             MessageButtons buttons);

// The same box with an OK button, opened from the main loop once the current callback
// has returned, so that nothing the caller holds stays held while the box waits for the
// user. Its owner is the main window that holds `nativeOwner` (an X11 window id, such as
// an embedded editor's), if any. Without a display it is written at once, as above.
void ShowMessageLater(unsigned long nativeOwner, const std::string& text, const std::string& title);

// Opens a file or address with the desktop's default application (xdg-open, started
// directly, never through a shell). False when it cannot be started.
[[nodiscard]] bool OpenWithDesktop(const std::string& target);

}  // namespace platform
