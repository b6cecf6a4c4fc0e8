#pragma once
// The editor's graphics object: one per open editor. It owns the controls, routes
// pointer and key events to them, tracks which controls need drawing, and draws them
// through NanoVG. This class is the window-system-free part; IGraphicsLinux puts it in a
// window. Without a window (the base class alone) it still dispatches events and keeps
// its controls, which is what the unit tests drive.
//
// Sizes: the editor's size (Width, Height) is in editor units; the screen scale gives the
// window system's pixels per unit. The editor keeps its own proportions and is placed in
// its window, which may be larger than the editor when the host chose the window's size
// (SetWindowArea); the rest of the window shows the surround colour. Pointer positions
// go through the same placement, so a control is hit where it is drawn.
//
// Pointer rules: a button press captures the control under the pointer for that pointer
// (touch id 0 for the mouse) and drags go to the captured control only; any button-up
// releases the capture, even while another button is still held. Without a button
// down, movement is mouse-over (when switched on), with OnMouseOut to the control left.
// Whatever ends a capture otherwise (a resize, the window losing the pointer or the
// focus, the editor closing) releases the held controls as a button-up would.
//
// Threads: a graphics object is used from one thread at a time (the editor's interface
// thread); it takes no lock of its own.

#include <map>
#include <memory>
#include <vector>

#include "framework/icontrol.h"
#include "framework/igraphics_structs.h"

namespace iplug {
class IEditorDelegate;
}

namespace iplug::igraphics {

class IGraphics {
 public:
  IGraphics(IEditorDelegate& dlg, int w, int h, int fps = 0, float scale = 1.f);
  virtual ~IGraphics();
  IGraphics(const IGraphics&) = delete;
  IGraphics& operator=(const IGraphics&) = delete;

  // ---- the window (IGraphicsLinux; the base has none) ----
  // Opens the editor window as a child of `parent` (an X11 window id); returns the
  // window's handle, or null when it could not be opened.
  [[nodiscard]] virtual void* OpenWindow(void* /*parent*/) { return nullptr; }
  virtual void CloseWindow() {}
  // The editor window's native handle, or null while there is none.
  virtual void* GetWindow() { return nullptr; }
  // The NanoVG context of the window (an NVGcontext*), or null.
  virtual void* GetDrawContext() { return nullptr; }
  // The factor between the parent's pixels and editor units.
  virtual float GetPlatformWindowScale() const { return mScreenScale; }
  // The window system connection to watch for input (-1 when there is none).
  virtual int GetEventFd() const { return -1; }
  // Handles the window system's waiting events.
  virtual void ProcessEvents() {}
  // The display tick, at the frame rate: when a control is dirty, the window is drawn.
  virtual void OnDisplayTick();
  // The physical state of the two main mouse buttons; false when it cannot be read.
  [[nodiscard]] virtual bool GetMouseButtonState(bool& left, bool& right) {
    left = right = false;
    return false;
  }
  // Whether the top-level window that holds the editor is the one in front.
  virtual bool IsTopLevelWindowInForeground() { return false; }
  // Takes the pointer for the editor window so that drags keep arriving; false when
  // there is no window.
  [[nodiscard]] virtual bool CapturePointer() { return false; }
  virtual void ReleasePointer() {}
  // Opens a web address in the user's browser; false when it cannot be opened.
  [[nodiscard]] virtual bool OpenURL(const char* url, const char* msgWindowTitle = nullptr,
                                     const char* confirmMsg = nullptr, const char* errMsgOnFailure = nullptr);

  // ---- size ----
  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  // The window that holds the editor, in editor units: never smaller than the editor.
  int WindowAreaWidth() const { return mAreaWidth; }
  int WindowAreaHeight() const { return mAreaHeight; }
  // The host gave the editor's window w x h units: the window takes that size (at least
  // the editor's) and the editor is placed in it unchanged.
  virtual void SetWindowArea(int w, int h);
  // Pixels of the window for `units` editor units at the current scale. The static forms
  // convert at any scale; a size converted to pixels and back is unchanged for scales of
  // 1 and more.
  int ToPixels(int units) const { return UnitsToPixels(units, double(mScreenScale) * double(mDrawScale)); }
  static int UnitsToPixels(int units, double scale);
  static int PixelsToUnits(int pixels, double scale);
  // The window's size in pixels (the platform's actual window where there is one).
  virtual void GetWindowPixels(int& w, int& h) const;
  // The editor's top-left corner in the window, in pixels: centred where the window is
  // larger than the editor.
  void GetEditorOrigin(int& x, int& y) const;
  // The colour of the window outside the editor.
  void SetSurroundColor(const IColor& color) { mSurroundColor = color; }
  const IColor& GetSurroundColor() const { return mSurroundColor; }
  float GetDrawScale() const { return mDrawScale; }
  float GetScreenScale() const { return mScreenScale; }
  void SetScreenScale(float scale);
  // Resizes the editor and its window to w x h units after the delegate's size rule,
  // tells the delegate (which asks the host's frame to follow when needsPlatformResize
  // is set), re-lays out the controls and redraws.
  virtual void Resize(int w, int h, float scale, bool needsPlatformResize = true);
  void SetLayoutOnResize(bool layout) { mLayoutOnResize = layout; }

  // ---- controls ----
  IControl* AttachPanelBackground(const IColor& color);
  IControl* AttachControl(IControl* control, int tag = kNoTag, const char* group = "");
  int NControls() const { return static_cast<int>(mControls.size()); }
  IControl* GetControl(int idx) const;
  void SetAllControlsDirty();
  void SetAllControlsClean();
  // Only the part r (editor units) of the picture needs drawing again, for example
  // something animated there; dirty controls still draw the whole window.
  void SetRegionDirty(const IRECT& r);
  // The part of the picture to draw again when no control is dirty (empty when none).
  const IRECT& GetDirtyRegion() const { return mDirtyRegion; }
  bool AnyControlDirty() const;
  // Whether anything needs drawing: a dirty control or a dirty region.
  bool IsDirty() const;
  // Forgets what needs drawing, once it is drawn.
  void SetAllClean();
  void SetKeyHandlerFunc(IKeyHandlerFunc func) { mKeyHandlerFunc = std::move(func); }
  void HandleMouseOver(bool handle) { mHandleMouseOver = handle; }

  // ---- drawing ----
  // The part of the picture the controls are drawing: all of it; only what stays as it
  // is while the window keeps its size and placement (kept offscreen by the platform and
  // drawn again only when that changes); or everything else, over a copy of that part.
  enum class EDrawLayer { kAll, kStill, kChanging };
  EDrawLayer GetDrawLayer() const { return mDrawLayer; }
  void FillRect(const IColor& color, const IRECT& bounds, const IBlend* blend = nullptr);
  // Draws every control in attachment order into the current frame, the given layer.
  void DrawControls(EDrawLayer layer = EDrawLayer::kAll);

  // ---- events, in editor units ----
  void OnMouseDown(const std::vector<IMouseInfo>& points);
  void OnMouseUp(const std::vector<IMouseInfo>& points);
  void OnMouseDrag(const std::vector<IMouseInfo>& points);
  void OnMouseWheel(float x, float y, const IMouseMod& mod, float d);
  bool OnMouseOver(float x, float y, const IMouseMod& mod);
  void OnMouseOut();
  // The key handler first, then the control under the pointer; true when consumed.
  bool OnKeyDown(float x, float y, const IKeyPress& key);
  bool OnKeyUp(float x, float y, const IKeyPress& key);

  // The control that holds the capture for `touchID`, or null.
  IControl* GetCapturedControl(std::uintptr_t touchID = 0) const;
  // Every captured control gets a button-up with no button still down, at the last
  // pointer position, and every capture ends.
  virtual void ReleaseHeldPointers();

 protected:
  // Resizes the platform window to the editor's size (IGraphicsLinux).
  virtual void PlatformResize() {}
  // Asks the window to be drawn soon (IGraphicsLinux).
  virtual void RequestRedraw() {}
  // Draws the window now when it needs drawing, before anything else is shown in it
  // (IGraphicsLinux); a resize calls it once the controls have their new places.
  virtual void PresentNow() {}

 private:
  // The topmost control that takes the pointer at (x, y); with capture it is recorded
  // as the captured control of `touchID` (or the one already captured is returned).
  IControl* GetMouseControl(float x, float y, bool capture, std::uintptr_t touchID = 0);
  // The topmost control at index `lowest` or above that takes the pointer at (x, y).
  IControl* TopmostHit(float x, float y, int lowest) const;

  IEditorDelegate& mDelegate;
  int mWidth;
  int mHeight;
  float mDrawScale;
  float mScreenScale = 1.f;
  int mAreaWidth;
  int mAreaHeight;
  IColor mSurroundColor{255, 0, 0, 0};
  IRECT mDirtyRegion;
  EDrawLayer mDrawLayer = EDrawLayer::kAll;
  float mLastX = 0.f, mLastY = 0.f;  // the last pointer position of any event
  bool mLayoutOnResize = false;
  bool mHandleMouseOver = false;
  std::vector<std::unique_ptr<IControl>> mControls;
  std::map<std::uintptr_t, IControl*> mCapturedMap;
  IControl* mMouseOver = nullptr;
  IKeyHandlerFunc mKeyHandlerFunc;
};

}  // namespace iplug::igraphics
