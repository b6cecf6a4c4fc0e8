// The editor's costs in a real X11 window (run it under Xvfb with Mesa's llvmpipe):
// time from opening to the first complete frame, the cost of one frame at 648 and 1296
// pixels wide, and the CPU the process uses with the editor open, idle and animating.
// Usage: xvfb-run -a -s "-screen 0 2800x1800x24" corva-editor-bench [seconds]
//
// The editor is driven as a host would: the window's events and a 60 Hz display tick on
// this thread, the plug-in's idle ticks on its own timer thread. The CPU figures are this
// process's (rendering threads included), not the X server's.

#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "framework/igraphics_linux.h"
#include "plugin/corva_plug.h"

// After the plug-in's headers: Xlib's macros (Bool, None) would clash with their names.
#include <X11/Xlib.h>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Runs the editor as a host would for `seconds`; returns the CPU share of one core.
double CpuShare(iplug::igraphics::IGraphicsLinux& g, std::recursive_mutex& mutex, double seconds, long& frames) {
  // Frames still waiting from what came before are drawn first.
  for (int i = 0; i < 10; ++i) {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    g.OnDisplayTick();
  }
  const long frames0 = g.FramesDrawn();
  const double cpu0 = ProcessCpuSeconds();
  const auto start = Clock::now();
  auto next = start;
  while (Clock::now() - start < std::chrono::duration<double>(seconds)) {
    next += std::chrono::microseconds(16667);
    std::this_thread::sleep_until(next);
    std::lock_guard<std::recursive_mutex> lock(mutex);
    g.OnDisplayTick();
  }
  frames = g.FramesDrawn() - frames0;
  return (ProcessCpuSeconds() - cpu0) / std::chrono::duration<double>(Clock::now() - start).count();
}

// Mean milliseconds of one full redraw at the editor's current size.
double FrameMs(CorvaPlug& plug, iplug::igraphics::IGraphicsLinux& g, Display* display, int frames) {
  std::lock_guard<std::recursive_mutex> lock(plug.InterfaceMutex());
  for (int i = 0; i < 10; ++i) {  // warm up at this size
    g.SetAllControlsDirty();
    g.OnDisplayTick();
  }
  XSync(display, False);
  const auto t0 = Clock::now();
  for (int i = 0; i < frames; ++i) {
    g.SetAllControlsDirty();
    g.OnDisplayTick();
    XSync(static_cast<Display*>(g.GetDisplay()), False);
  }
  return Ms(Clock::now() - t0) / frames;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "no X display: run under xvfb-run\n");
    return 1;
  }
  const Window parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1296, 862, 0, 0, 0);
  XMapWindow(display, parent);
  XSync(display, False);

  auto* plug = static_cast<CorvaPlug*>(MakePlug(iplug::InstanceInfo{}));
  std::recursive_mutex& mutex = plug->InterfaceMutex();

  // Opening to the first complete frame.
  const auto t0 = Clock::now();
  iplug::igraphics::IGraphicsLinux* g = nullptr;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    plug->OpenWindow(reinterpret_cast<void*>(parent));
    g = static_cast<iplug::igraphics::IGraphicsLinux*>(plug->GetUI());
  }
  if (!g) {
    std::fprintf(stderr, "the editor did not open\n");
    return 1;
  }
  while (g->FramesDrawn() < 1) {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    g->OnDisplayTick();
  }
  XSync(static_cast<Display*>(g->GetDisplay()), False);
  const double firstFrameMs = Ms(Clock::now() - t0);

  const double frame648 = FrameMs(*plug, *g, display, 100);
  {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    plug->OnParentWindowResize(1296, 862);
  }
  const double frame1296 = FrameMs(*plug, *g, display, 100);
  {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    plug->OnParentWindowResize(648, 431);
  }

  long idleFrames = 0, animFrames = 0;
  const double idle = CpuShare(*g, mutex, seconds, idleFrames);
  {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    plug->setParameter(corva::kEcho, 1.0f);  // the beat light blinks: redrawn every idle tick
  }
  const double animating = CpuShare(*g, mutex, seconds, animFrames);

  std::printf("attach to first frame: %.1f ms\n", firstFrameMs);
  std::printf("frame at 648 x 431:    %.2f ms\n", frame648);
  std::printf("frame at 1296 x 862:   %.2f ms\n", frame1296);
  std::printf("idle, editor open:     %.2f %% of a core (%ld frames in %.0f s)\n", idle * 100.0, idleFrames, seconds);
  std::printf("animating (echo on):   %.2f %% of a core (%ld frames in %.0f s)\n", animating * 100.0, animFrames,
              seconds);

  {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    plug->CloseWindow();
  }
  plug->release();
  XDestroyWindow(display, parent);
  XCloseDisplay(display);
  return 0;
}
