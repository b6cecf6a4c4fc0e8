#include "tests/vst3/editor_host.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

namespace corvatest {

struct HostLoop::Impl final : public IPlugFrame, public Linux::IRunLoop {
  std::thread thread;
  int wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  std::mutex mutex;
  std::vector<std::function<void()>> tasks;
  bool stopping = false;
  // Run-loop registrations; touched on the loop thread only.
  std::map<Linux::IEventHandler*, int> handlers;
  struct TimerEntry {
    Linux::ITimerHandler* handler;
    std::chrono::milliseconds interval;
    std::chrono::steady_clock::time_point due;
  };
  std::vector<TimerEntry> timers;
  std::vector<ViewRect> resizes;

  void run() {
    for (;;) {
      std::vector<pollfd> fds{{wake, POLLIN, 0}};
      std::vector<Linux::IEventHandler*> order;
      for (auto& [h, fd] : handlers) {
        fds.push_back({fd, POLLIN, 0});
        order.push_back(h);
      }
      auto now = std::chrono::steady_clock::now();
      int timeout = 100;
      for (auto& t : timers)
        timeout = std::min<int>(
            timeout, std::max<int>(0, int(std::chrono::duration_cast<std::chrono::milliseconds>(t.due - now).count())));
      poll(fds.data(), fds.size(), timeout);
      if (fds[0].revents) {
        std::uint64_t n;
        (void)!read(wake, &n, sizeof n);
      }
      std::vector<std::function<void()>> todo;
      {
        std::lock_guard<std::mutex> l(mutex);
        todo.swap(tasks);
        if (stopping && todo.empty()) return;
      }
      for (auto& f : todo) f();
      for (size_t i = 1; i < fds.size(); ++i)
        if (fds[i].revents && handlers.count(order[i - 1])) order[i - 1]->onFDIsSet(fds[i].fd);
      now = std::chrono::steady_clock::now();
      for (size_t i = 0; i < timers.size(); ++i) {
        if (timers[i].due > now) continue;
        timers[i].due = now + timers[i].interval;
        timers[i].handler->onTimer();
      }
    }
  }

  void post(std::function<void()> fn) {
    {
      std::lock_guard<std::mutex> l(mutex);
      tasks.push_back(std::move(fn));
    }
    const std::uint64_t one = 1;
    (void)!write(wake, &one, sizeof one);
  }

  // IPlugFrame: a host resizes its window and tells the view.
  tresult PLUGIN_API resizeView(IPlugView* view, ViewRect* r) override {
    if (!view || !r) return kInvalidArgument;
    resizes.push_back(*r);
    view->onSize(r);
    return kResultTrue;
  }
  // IRunLoop
  tresult PLUGIN_API registerEventHandler(Linux::IEventHandler* h, Linux::FileDescriptor fd) override {
    if (!h) return kInvalidArgument;
    h->addRef();
    handlers[h] = fd;
    return kResultTrue;
  }
  tresult PLUGIN_API unregisterEventHandler(Linux::IEventHandler* h) override {
    if (!handlers.erase(h)) return kInvalidArgument;
    h->release();
    return kResultTrue;
  }
  tresult PLUGIN_API registerTimer(Linux::ITimerHandler* h, Linux::TimerInterval ms) override {
    if (!h) return kInvalidArgument;
    h->addRef();
    timers.push_back(
        {h, std::chrono::milliseconds(ms), std::chrono::steady_clock::now() + std::chrono::milliseconds(ms)});
    return kResultTrue;
  }
  tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler* h) override {
    for (auto it = timers.begin(); it != timers.end(); ++it) {
      if (it->handler != h) continue;
      timers.erase(it);
      h->release();
      return kResultTrue;
    }
    return kInvalidArgument;
  }
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    if (FUnknownPrivate::iidEqual(iid, IPlugFrame::iid) || FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
      *obj = static_cast<IPlugFrame*>(this);
      return kResultOk;
    }
    if (FUnknownPrivate::iidEqual(iid, Linux::IRunLoop::iid)) {
      *obj = static_cast<Linux::IRunLoop*>(this);
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return 1; }
  uint32 PLUGIN_API release() override { return 1; }
};

HostLoop::HostLoop() : mImpl(std::make_unique<Impl>()) {
  mImpl->thread = std::thread([this] { mImpl->run(); });
}

HostLoop::~HostLoop() {
  {
    std::lock_guard<std::mutex> l(mImpl->mutex);
    mImpl->stopping = true;
  }
  mImpl->post([] {});
  mImpl->thread.join();
  close(mImpl->wake);
}

void HostLoop::call(const std::function<void()>& fn) {
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  mImpl->post([&] {
    fn();
    std::lock_guard<std::mutex> l(m);
    done = true;
    cv.notify_all();
  });
  std::unique_lock<std::mutex> l(m);
  cv.wait(l, [&] { return done; });
}

IPlugFrame* HostLoop::frame() { return mImpl.get(); }

std::vector<ViewRect> HostLoop::resizeRequests() {
  std::vector<ViewRect> r;
  call([&] { r = mImpl->resizes; });
  return r;
}

int HostLoop::registrations() {
  int n = 0;
  call([&] { n = int(mImpl->handlers.size() + mImpl->timers.size()); });
  return n;
}

ParentWindow::ParentWindow(int w, int h, int x, int y) {
  Display* d = XOpenDisplay(nullptr);
  if (!d) return;
  mDisplay = d;
  mWindow = XCreateSimpleWindow(d, DefaultRootWindow(d), x, y, unsigned(w), unsigned(h), 0, 0, 0x404040);
  XMapWindow(d, mWindow);
  XSync(d, False);
}

ParentWindow::~ParentWindow() {
  auto* d = static_cast<Display*>(mDisplay);
  if (!d) return;
  if (mWindow) XDestroyWindow(d, mWindow);
  XCloseDisplay(d);
}

void ParentWindow::resize(int w, int h) {
  auto* d = static_cast<Display*>(mDisplay);
  XResizeWindow(d, mWindow, unsigned(w), unsigned(h));
  XSync(d, False);
}

void ParentWindow::origin(int& x, int& y) {
  auto* d = static_cast<Display*>(mDisplay);
  Window child = 0;
  XTranslateCoordinates(d, mWindow, DefaultRootWindow(d), 0, 0, &x, &y, &child);
}

bool ParentWindow::pointerFree() {
  auto* d = static_cast<Display*>(mDisplay);
  if (XGrabPointer(d, mWindow, False, ButtonPressMask, GrabModeAsync, GrabModeAsync, None, None, CurrentTime) !=
      GrabSuccess)
    return false;
  XUngrabPointer(d, CurrentTime);
  XSync(d, False);
  return true;
}

std::vector<unsigned char> ParentWindow::capture(int& w, int& h) {
  auto* d = static_cast<Display*>(mDisplay);
  XSync(d, False);
  XWindowAttributes a;
  XGetWindowAttributes(d, mWindow, &a);
  int x = 0, y = 0;
  origin(x, y);
  w = a.width;
  h = a.height;
  // The screen's pixels where the window is: the embedded editor's content included.
  XImage* img = XGetImage(d, DefaultRootWindow(d), x, y, unsigned(w), unsigned(h), AllPlanes, ZPixmap);
  if (!img) return {};
  std::vector<unsigned char> rgba(size_t(w) * size_t(h) * 4);
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) {
      const unsigned long p = XGetPixel(img, i, j);
      unsigned char* o = &rgba[(size_t(j) * size_t(w) + size_t(i)) * 4];
      o[0] = static_cast<unsigned char>((p >> 16) & 0xFF);
      o[1] = static_cast<unsigned char>((p >> 8) & 0xFF);
      o[2] = static_cast<unsigned char>(p & 0xFF);
      o[3] = 255;
    }
  XDestroyImage(img);
  return rgba;
}

bool XdoTool(const std::string& args) { return std::system(("xdotool " + args).c_str()) == 0; }

}  // namespace corvatest
