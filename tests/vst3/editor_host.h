#pragma once
// The editor side of the in-process test host: a host interface thread with a run loop
// (descriptors and timers, as a Linux host offers them to a plug-in's view), an X11
// parent window for the view, the host's frame that follows resize requests, and window
// captures.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pluginterfaces/gui/iplugview.h"

namespace corvatest {

using namespace Steinberg;

// The host's interface thread. Every view call is made on it through call().
class HostLoop {
 public:
  HostLoop();
  ~HostLoop();
  HostLoop(const HostLoop&) = delete;
  HostLoop& operator=(const HostLoop&) = delete;

  // Runs fn on the loop thread and waits for it.
  void call(const std::function<void()>& fn);
  // The host's run loop as the view's frame offers it, and the frame.
  IPlugFrame* frame();
  // Sizes the frame was asked for, in order.
  std::vector<ViewRect> resizeRequests();
  // The number of registered timers and descriptors (checked after a view is removed).
  int registrations();

  struct Impl;

 private:
  std::unique_ptr<Impl> mImpl;
};

// An X11 window of the host, on a display connection of its own, that a view embeds in.
class ParentWindow {
 public:
  ParentWindow(int w, int h, int x = 0, int y = 0);
  ~ParentWindow();
  bool ok() const { return mWindow != 0; }
  void* id() const { return reinterpret_cast<void*>(mWindow); }
  void resize(int w, int h);
  // The window's on-screen pixels as RGBA rows, top first (what the user sees).
  std::vector<unsigned char> capture(int& w, int& h);
  // The window's top-left corner on the screen.
  void origin(int& x, int& y);
  // True when no client holds the pointer grabbed (this one can take and drop it).
  bool pointerFree();

 private:
  void* mDisplay = nullptr;
  unsigned long mWindow = 0;
};

// Runs xdotool with the arguments (pointer actions on the test's display); true on success.
bool XdoTool(const std::string& args);

}  // namespace corvatest
