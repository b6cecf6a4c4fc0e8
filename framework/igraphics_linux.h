#pragma once
// The editor's window on Linux: a pugl view (X11, OpenGL 2 compatibility context with a
// stencil buffer) created as a child of the parent window it is given, with NanoVG
// drawing into it. The owner drives it: ProcessEvents when the connection
// (GetEventFd) is readable, OnDisplayTick at the frame rate. It draws only when a
// control or a region is dirty: the picture is kept offscreen and only the dirty part of
// it drawn again, and an exposure the window system asks for shows the kept picture.

#include <memory>
#include <vector>

#include "framework/igraphics.h"

namespace iplug::igraphics {

class IGraphicsLinux : public IGraphics {
 public:
  IGraphicsLinux(IEditorDelegate& dlg, int w, int h, int fps = 60, float scale = 1.f);
  ~IGraphicsLinux() override;

  [[nodiscard]] void* OpenWindow(void* parent) override;
  void CloseWindow() override;
  void* GetWindow() override;
  void* GetDrawContext() override;
  int GetEventFd() const override;
  void ProcessEvents() override;
  void OnDisplayTick() override;
  void GetWindowPixels(int& w, int& h) const override;
  [[nodiscard]] bool GetMouseButtonState(bool& left, bool& right) override;
  bool IsTopLevelWindowInForeground() override;
  [[nodiscard]] bool CapturePointer() override;
  void ReleasePointer() override;

  // The X display connection of the window (a Display*), or null.
  void* GetDisplay() const;
  // Frames drawn since the window opened.
  long FramesDrawn() const;
  // Whether the still part of the picture is kept offscreen (the default); without it
  // every drawing draws everything, which is what the kept picture is measured against.
  void KeepStillLayer(bool keep);
  // Draws a frame now and gives its pixels as the window shows them, whatever covers
  // the window or lies off the screen: w x h RGBA pixels, top row first, opaque. False
  // when the window is not open or not shown, or inside its own event dispatch.
  [[nodiscard]] bool CaptureFrame(std::vector<unsigned char>& rgba, int& w, int& h);
  // One event of the window (a PuglEvent), from the window system's dispatch.
  int HandleEvent(const void* event);

 protected:
  void PlatformResize() override;
  void RequestRedraw() override;
  void PresentNow() override;

 private:
  // Whether the display tick may skip dispatching: nothing to draw, no button held, and
  // nothing arrived or waits to be sent on the connection.
  [[nodiscard]] bool NothingToDispatch() const;
  // Draws what an exposure of the window needs and shows the picture.
  void DrawExposed();
  // Draws one layer of the part (x, y, w, h) of the picture, in pixels, of a window
  // `windowHeight` high.
  void DrawPicture(int x, int y, int w, int h, int windowHeight, EDrawLayer layer);
  // Copies the part (x, y, w, h) of the still layer into the picture, drawing the layer
  // first when the window's size or the editor's placement changed; false (nothing
  // copied) when it cannot be kept. The picture is bound for drawing afterwards.
  [[nodiscard]] bool CopyStillLayer(int x, int y, int w, int h, int windowWidth, int windowHeight);

  struct Window;
  void ReadFrame(int width, int height);
  std::unique_ptr<Window> mWindow;
};

// The graphics object a plug-in's graphics factory returns on this platform.
IGraphics* MakeGraphics(IEditorDelegate& dlg, int w, int h, int fps = 60, float scale = 1.f);

}  // namespace iplug::igraphics
