// The editor's costs in a real X11 window (run it under Xvfb with Mesa's llvmpipe):
// time from opening to the first complete frame, the cost of one frame at 648 and 1296
// pixels wide (the whole picture drawn, and only the beat light drawn over the kept
// picture), the CPU the process uses with the editor open, idle and with the echo on,
// and how far the picture after partial redraws is from the same picture drawn whole.
// Usage: xvfb-run -a -s "-screen 0 2800x1800x24" corva-editor-bench [seconds [frames]]
//
// The editor is driven as a host would: the window's events and a 60 Hz display tick on
// this thread, the plug-in's idle ticks on its own timer thread. The CPU figures are this
// process's (rendering threads included), not the X server's.

#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "framework/igraphics_linux.h"
#include "plugin/corva_control.h"
#include "plugin/corva_plug.h"
#include "ui/effects_panel_draw.h"

// After the plug-in's headers: Xlib's macros (Bool, None) would clash with their names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Drives the editor as a host would (60 display ticks a second) for `seconds`.
void Drive(iplug::igraphics::IGraphicsLinux& g, std::recursive_mutex& mutex, double seconds) {
  const auto start = Clock::now();
  auto next = start;
  while (Clock::now() - start < std::chrono::duration<double>(seconds)) {
    next += std::chrono::microseconds(16667);
    std::this_thread::sleep_until(next);
    std::lock_guard<std::recursive_mutex> lock(mutex);
    g.OnDisplayTick();
  }
}

// Runs the editor as a host would for `seconds`, after `settle` seconds unmeasured (the
// news refresh that opening starts ends meanwhile); returns the CPU share of one core.
double CpuShare(iplug::igraphics::IGraphicsLinux& g, std::recursive_mutex& mutex, double seconds, double settle,
                long& frames) {
  Drive(g, mutex, settle);
  const long frames0 = g.FramesDrawn();
  const double cpu0 = ProcessCpuSeconds();
  const auto start = Clock::now();
  Drive(g, mutex, seconds);
  frames = g.FramesDrawn() - frames0;
  return (ProcessCpuSeconds() - cpu0) / std::chrono::duration<double>(Clock::now() - start).count();
}

// Mean milliseconds of one frame at the editor's current size, shown on the screen:
// the whole picture drawn, or with `partial` only the beat light's part.
double FrameMs(CorvaPlug& plug, iplug::igraphics::IGraphicsLinux& g, bool partial, int frames) {
  std::lock_guard<std::recursive_mutex> lock(plug.InterfaceMutex());
  auto* display = static_cast<Display*>(g.GetDisplay());
  const auto dirty = [&] {
    if (partial) {
      const float* r = plug.uiModel.effectsPanel.beatRect;
      g.SetRegionDirty(iplug::igraphics::IRECT(r[0], r[1], r[0] + r[2], r[1] + r[3]));
    } else {
      g.SetAllControlsDirty();
    }
  };
  for (int i = 0; i < 10; ++i) {  // warm up at this size
    dirty();
    g.OnDisplayTick();
  }
  XSync(display, False);
  const auto t0 = Clock::now();
  for (int i = 0; i < frames; ++i) {
    dirty();
    g.OnDisplayTick();
    XSync(display, False);
  }
  return Ms(Clock::now() - t0) / frames;
}

// The window's pixels as the screen shows them.
std::vector<unsigned char> Capture(iplug::igraphics::IGraphicsLinux& g, int& w, int& h) {
  auto* display = static_cast<Display*>(g.GetDisplay());
  const ::Window window = reinterpret_cast<::Window>(g.GetWindow());
  XWindowAttributes a{};
  XSync(display, False);
  XGetWindowAttributes(display, window, &a);
  w = a.width;
  h = a.height;
  XImage* img = XGetImage(display, window, 0, 0, unsigned(w), unsigned(h), AllPlanes, ZPixmap);
  std::vector<unsigned char> px;
  if (!img) return px;
  px.reserve(size_t(w) * size_t(h) * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const unsigned long p = XGetPixel(img, x, y);
      px.push_back(static_cast<unsigned char>(p >> 16));
      px.push_back(static_cast<unsigned char>(p >> 8));
      px.push_back(static_cast<unsigned char>(p));
    }
  XDestroyImage(img);
  return px;
}

// The picture after the LED and the beat light were drawn over the kept picture (its still
// layer copied in), against the same state drawn whole with every element drawn:
// differing pixels and the largest channel difference.
void CompareWithWhole(CorvaPlug& plug, iplug::igraphics::IGraphicsLinux& g, std::recursive_mutex& mutex,
                      long& differing, int& largest, long& total) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  corva::EffectsPanelModel& panel = plug.uiModel.effectsPanel;
  differing = total = 0;
  largest = 0;
  for (int attempt = 0; attempt < 50; ++attempt) {
    // The LED lit half-way, drawn over the kept picture.
    plug.GetParam(corva::kLedLevel)->Set(0.2);
    plug.SendParameterValueFromDelegate(corva::kLedLevel, 0.2, false);
    g.OnDisplayTick();
    // Then the beat light as it changes.
    const bool lit = panel.beatLitShown;
    for (int i = 0; i < 200 && corva::isBeatLit(panel, plug.nowSeconds()) == lit; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    corva::markChangedAnimations(plug.uiModel, g, plug.nowSeconds());
    g.OnDisplayTick();
    int w = 0, h = 0;
    const std::vector<unsigned char> composited = Capture(g, w, h);
    const bool shown = panel.beatLitShown;
    g.KeepStillLayer(false);
    g.OnDisplayTick();
    const std::vector<unsigned char> whole = Capture(g, w, h);
    g.KeepStillLayer(true);
    // Compared only when the whole drawing showed the beat light as the partial one did.
    if (panel.beatLitShown != shown || composited.size() != whole.size() || whole.empty()) continue;
    total = long(w) * h;
    for (size_t i = 0; i < whole.size(); i += 3) {
      int d = 0;
      for (size_t c = 0; c < 3; ++c) d = std::max(d, std::abs(int(composited[i + c]) - int(whole[i + c])));
      if (d > 0) ++differing;
      largest = std::max(largest, d);
    }
    return;
  }
}
}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  const int frames = argc > 2 ? std::max(std::atoi(argv[2]), 1) : 100;
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
    (void)plug->OpenWindow(reinterpret_cast<void*>(parent));  // no editor is reported below
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

  const double whole648 = FrameMs(*plug, *g, false, frames);
  const double partial648 = FrameMs(*plug, *g, true, frames);
  const auto resize = [&](int w, int h) {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    plug->OnParentWindowResize(w, h);
  };
  resize(1296, 862);
  const double whole1296 = FrameMs(*plug, *g, false, frames);
  const double partial1296 = FrameMs(*plug, *g, true, frames);
  resize(648, 431);

  long idleFrames = 0, echo648Frames = 0, echo1296Frames = 0;
  const double idle = CpuShare(*g, mutex, seconds, 3.0, idleFrames);
  {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    plug->setParameter(corva::kEcho, 1.0f);  // the beat light blinks
  }
  const double echo648 = CpuShare(*g, mutex, seconds, 0.5, echo648Frames);
  long differing = 0, total = 0;
  int largest = 0;
  CompareWithWhole(*plug, *g, mutex, differing, largest, total);
  resize(1296, 862);
  const double echo1296 = CpuShare(*g, mutex, seconds, 0.5, echo1296Frames);

  std::printf("attach to first frame:        %.1f ms\n", firstFrameMs);
  std::printf("frame at 648 x 431, whole:    %.2f ms\n", whole648);
  std::printf("frame at 648 x 431, beat:     %.2f ms\n", partial648);
  std::printf("frame at 1296 x 862, whole:   %.2f ms\n", whole1296);
  std::printf("frame at 1296 x 862, beat:    %.2f ms\n", partial1296);
  std::printf("idle, editor open:            %.2f %% of a core (%ld frames in %.0f s)\n", idle * 100.0, idleFrames,
              seconds);
  std::printf("echo on at 648 x 431:         %.2f %% of a core (%ld frames in %.0f s)\n", echo648 * 100.0,
              echo648Frames, seconds);
  std::printf("echo on at 1296 x 862:        %.2f %% of a core (%ld frames in %.0f s)\n", echo1296 * 100.0,
              echo1296Frames, seconds);
  std::printf("partly redrawn vs whole:      %ld of %ld pixels differ, by at most %d\n", differing, total, largest);

  {
    std::lock_guard<std::recursive_mutex> lock(mutex);
    plug->CloseWindow();
  }
  plug->release();
  XDestroyWindow(display, parent);
  XCloseDisplay(display);
  return 0;
}
