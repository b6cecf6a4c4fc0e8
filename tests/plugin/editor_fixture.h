#pragma once
// What the editor tests under Xvfb share: a module loaded once per program, an instance
// with its editor open in a window of the in-process host, captures of that window and
// the same interface drawn offscreen to compare them with.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/vst3/editor_host.h"
#include "tests/vst3/test_host.h"

namespace corva {
class UiModel;
}

namespace corvatest {

// Waits up to 10 s for cond (a loaded machine is slow to pass events around).
template <class F>
bool WaitFor(F cond) {
  for (int i = 0; i < 1000; ++i) {
    if (cond()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return cond();
}

// "x y", for xdotool.
std::string At(int x, int y);

struct Image {
  int w = 0, h = 0;
  std::vector<unsigned char> rgba;
  const unsigned char* at(int x, int y) const { return &rgba[(size_t(y) * size_t(w) + size_t(x)) * 4]; }
};

// Writes img as <name>.png into the test's picture folder.
void Save(const Image& img, const std::string& name);

// The interface drawn offscreen at w x h: in its default state, or as `prepare` leaves
// the model. `after` sees the model once drawn (the hit areas it recorded).
Image OffscreenPicture(int w, int h, const std::function<void(corva::UiModel&)>& prepare = {},
                       const std::function<void(corva::UiModel&)>& after = {});

// The share of pixels whose colour differs by more than `tolerance` in any channel,
// over the whole picture or within the rectangle {x, y, w, h}.
double DifferingShare(const Image& a, const Image& b, int tolerance);
double DifferingShare(const Image& a, const Image& b, int tolerance, const int rect[4]);

// The window's content once two captures in a row agree and the editor has covered the
// window (the parent's grey shows nowhere it is checked).
Image Settled(ParentWindow& window);

// One instance with its editor open in a window of the host.
class OpenEditor {
 public:
  // Without a frame the view has no run loop of the host and drives its window itself.
  // A content scale other than 1 is given to the view before its size is asked.
  OpenEditor(Module& module, HostLoop& loop, int x = 0, int y = 0, bool withFrame = true, float contentScale = 1.f);
  ~OpenEditor();
  OpenEditor(const OpenEditor&) = delete;
  OpenEditor& operator=(const OpenEditor&) = delete;
  Image settled() { return Settled(*window); }
  // Closes the editor and opens a new one of the same instance in the same window.
  bool reopen();

  HostLoop& loop;
  Instance instance;
  IPlugView* view = nullptr;
  ViewRect size;
  std::unique_ptr<ParentWindow> window;
  bool attached = false;

 private:
  void openView();
  void attach();
  void closeView();
  bool withFrame;
  float contentScale;
};

}  // namespace corvatest
