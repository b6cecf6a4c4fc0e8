#include "framework/igraphics_linux.h"

#include <nanovg_gl2.h>

extern "C" {
#include <pugl/gl.h>
#include <pugl/pugl.h>
}

#include <GL/glx.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <poll.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace iplug::igraphics {

// The window's picture, kept offscreen at the window's size: redrawn whole or in part,
// then copied to the window. Exposures the window system asks for need no drawing.
struct OffscreenPicture {
  GLuint fbo = 0, color = 0, depthStencil = 0;
  int width = 0, height = 0;

  // A picture of w x h pixels, bound for drawing; false when the context cannot make one
  // (the window is then drawn directly). A new picture is blank.
  bool Bind(int w, int h, bool& fresh) {
    fresh = false;
    if (!fbo || w != width || h != height) {
      Free();
      glGenFramebuffers(1, &fbo);
      glGenRenderbuffers(1, &color);
      glGenRenderbuffers(1, &depthStencil);
      glBindRenderbuffer(GL_RENDERBUFFER, color);
      glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
      glBindRenderbuffer(GL_RENDERBUFFER, depthStencil);
      glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, w, h);
      glBindRenderbuffer(GL_RENDERBUFFER, 0);
      glBindFramebuffer(GL_FRAMEBUFFER, fbo);
      glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color);
      glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depthStencil);
      if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        Free();
        return false;
      }
      width = w;
      height = h;
      fresh = true;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    return true;
  }
  // Copies the picture to the window's back buffer.
  void Show() const {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
  }
  // Called with the window's context current.
  void Free() {
    if (fbo) glDeleteFramebuffers(1, &fbo);
    if (color) glDeleteRenderbuffers(1, &color);
    if (depthStencil) glDeleteRenderbuffers(1, &depthStencil);
    fbo = color = depthStencil = 0;
    width = height = 0;
  }
};

struct IGraphicsLinux::Window {
  PuglWorld* world = nullptr;
  PuglView* view = nullptr;
  NVGcontext* vg = nullptr;
  unsigned buttons = 0;  // bit 0 left, bit 1 right, as this window saw them
  float lastX = 0.f, lastY = 0.f;
  long frames = 0;
  bool dispatching = false;  // inside the window system's dispatch, which must not nest
  // Whether an event of the window (other than pugl's own update notice) was handled since
  // the last dispatch began, or no dispatch ran yet; and `requestsAfter`, the connection's
  // next request number when the last dispatch ended. While neither changes, the
  // connection has no output waiting and no event read ahead by a drawing.
  bool handledEvent = true;
  unsigned long requestsAfter = 0;
  bool grabbed = false;                 // the pointer grab taken by CapturePointer
  bool captureWanted = false;           // the next frame is read back into `captured`
  std::vector<unsigned char> captured;  // RGBA, top row first
  int capturedW = 0, capturedH = 0;
  OffscreenPicture picture;
  bool noOffscreen = false;  // the context cannot draw offscreen: every frame is drawn whole
  // The still part of the picture, and the placement it was drawn for.
  OffscreenPicture still;
  bool stillDrawn = false;
  bool noStill = false;  // the still layer cannot be kept: everything is drawn each time
  bool stillWanted = true;
  int stillKey[5] = {0, 0, 0, 0, 0};  // origin x, y, editor width, height, scale x 1000
};

namespace {

constexpr unsigned kLeft = 1u, kRight = 2u;

IKeyPress KeyFromPugl(const PuglKeyEvent& e) {
  IKeyPress k;
  k.S = e.state & PUGL_MOD_SHIFT;
  k.C = e.state & PUGL_MOD_CTRL;
  k.A = e.state & PUGL_MOD_ALT;
  const std::uint32_t key = e.key;
  if (key >= 'a' && key <= 'z') {
    k.VK = static_cast<int>(key - 'a' + 'A');
  } else if ((key >= '0' && key <= '9') || key == ' ' || key == PUGL_KEY_ESCAPE || key == PUGL_KEY_BACKSPACE ||
             key == '\t' || key == '\r') {
    k.VK = static_cast<int>(key == '\r' ? kVK_RETURN : key);
  } else if (key == PUGL_KEY_DELETE) {
    k.VK = kVK_DELETE;
  } else if (key >= PUGL_KEY_LEFT && key <= PUGL_KEY_DOWN) {
    k.VK = 0x25 + static_cast<int>(key - PUGL_KEY_LEFT);
  } else if (key >= PUGL_KEY_F1 && key <= PUGL_KEY_F12) {
    k.VK = 0x70 + static_cast<int>(key - PUGL_KEY_F1);
  }
  // Text for the keys that have a character; the private-use codes of special keys
  // have none.
  if (key >= 0x20 && key != PUGL_KEY_DELETE && !(key >= 0xE000 && key <= 0xF8FF)) EncodeUtf8(key, k.utf8);
  return k;
}

IMouseMod ModFrom(PuglMods state, unsigned buttons) {
  return IMouseMod((buttons & kLeft) != 0, (buttons & kRight) != 0, (state & PUGL_MOD_SHIFT) != 0,
                   (state & PUGL_MOD_CTRL) != 0, (state & PUGL_MOD_ALT) != 0);
}

}  // namespace

IGraphicsLinux::IGraphicsLinux(IEditorDelegate& dlg, int w, int h, int fps, float scale)
    : IGraphics(dlg, w, h, fps, scale) {}

IGraphicsLinux::~IGraphicsLinux() { CloseWindow(); }

IGraphics* MakeGraphics(IEditorDelegate& dlg, int w, int h, int fps, float scale) {
  return new IGraphicsLinux(dlg, w, h, fps, scale);
}

static PuglStatus OnPuglEvent(PuglView* view, const PuglEvent* event);

void* IGraphicsLinux::OpenWindow(void* parent) {
  if (mWindow) return GetWindow();
  auto w = std::make_unique<Window>();
  w->world = puglNewWorld(PUGL_MODULE, 0);
  if (!w->world) return nullptr;  // no display to open a window on
  puglSetClassName(w->world, "Corva-1");
  w->view = puglNewView(w->world);
  PuglView* view = w->view;
  mWindow = std::move(w);
  puglSetHandle(view, this);
  puglSetBackend(view, puglGlBackend());
  puglSetViewHint(view, PUGL_USE_COMPAT_PROFILE, PUGL_TRUE);
  puglSetViewHint(view, PUGL_CONTEXT_VERSION_MAJOR, 2);
  puglSetViewHint(view, PUGL_CONTEXT_VERSION_MINOR, 1);
  puglSetViewHint(view, PUGL_STENCIL_BITS, 8);
  puglSetViewHint(view, PUGL_DOUBLE_BUFFER, PUGL_TRUE);
  puglSetViewHint(view, PUGL_SWAP_INTERVAL, 0);
  puglSetViewHint(view, PUGL_RESIZABLE, PUGL_TRUE);
  puglSetViewHint(view, PUGL_IGNORE_KEY_REPEAT, PUGL_FALSE);
  puglSetSizeHint(view, PUGL_DEFAULT_SIZE, static_cast<PuglSpan>(ToPixels(WindowAreaWidth())),
                  static_cast<PuglSpan>(ToPixels(WindowAreaHeight())));
  if (parent) puglSetParentWindow(view, reinterpret_cast<PuglNativeView>(parent));
  puglSetEventFunc(view, OnPuglEvent);
  if (puglRealize(view) != PUGL_SUCCESS || !mWindow->vg) {
    CloseWindow();
    return nullptr;
  }
  // A held key gives one press and one release, not a release before every repeat.
  Bool supported = False;
  XkbSetDetectableAutoRepeat(static_cast<Display*>(puglGetNativeWorld(mWindow->world)), True, &supported);
  puglShow(view);
  SetAllControlsDirty();
  return GetWindow();
}

void IGraphicsLinux::CloseWindow() {
  if (!mWindow) return;
  if (mWindow->view) {
    ReleasePointer();
    puglFreeView(mWindow->view);  // NanoVG goes with the context, on the destroy event
  }
  if (mWindow->world) puglFreeWorld(mWindow->world);
  mWindow.reset();
}

void* IGraphicsLinux::GetWindow() {
  if (!mWindow || !mWindow->view) return nullptr;
  return reinterpret_cast<void*>(puglGetNativeView(mWindow->view));
}

void* IGraphicsLinux::GetDrawContext() { return mWindow ? mWindow->vg : nullptr; }

void* IGraphicsLinux::GetDisplay() const {
  return mWindow && mWindow->world ? puglGetNativeWorld(mWindow->world) : nullptr;
}

long IGraphicsLinux::FramesDrawn() const { return mWindow ? mWindow->frames : 0; }

void IGraphicsLinux::KeepStillLayer(bool keep) {
  if (!mWindow) return;
  mWindow->stillWanted = keep;
  SetAllControlsDirty();
}

bool IGraphicsLinux::CaptureFrame(std::vector<unsigned char>& rgba, int& w, int& h) {
  auto* display = static_cast<Display*>(GetDisplay());
  if (!display || !mWindow->view || mWindow->dispatching) return false;
  mWindow->captureWanted = true;
  mWindow->captured.clear();
  // The redraw request travels through the server; once it is back, the dispatch draws
  // the frame and reads it back before it is shown.
  puglPostRedisplay(mWindow->view);
  XSync(display, False);
  ProcessEvents();
  if (!mWindow) return false;
  mWindow->captureWanted = false;
  if (mWindow->captured.empty()) return false;
  rgba = std::move(mWindow->captured);
  mWindow->captured.clear();
  w = mWindow->capturedW;
  h = mWindow->capturedH;
  return true;
}

int IGraphicsLinux::GetEventFd() const {
  auto* display = static_cast<Display*>(GetDisplay());
  return display ? ConnectionNumber(display) : -1;
}

void IGraphicsLinux::ProcessEvents() {
  // An event handler that resizes or redraws the editor asks for its frame later.
  if (!mWindow || !mWindow->world || mWindow->dispatching) return;
  mWindow->dispatching = true;
  mWindow->handledEvent = false;
  puglUpdate(mWindow->world, 0.0);
  if (!mWindow) return;
  mWindow->dispatching = false;
  mWindow->requestsAfter = XNextRequest(static_cast<Display*>(GetDisplay()));
}

bool IGraphicsLinux::NothingToDispatch() const {
  // A dispatch flushes the connection and reads it a few times over; an idle editor's
  // tick needs only to see that the server sent nothing. Not after a dispatch that
  // handled events: a drawing may have read events ahead into the connection's queue,
  // where only a dispatch finds them. Nor once requests were made since, which may
  // still wait to be sent.
  const Window& w = *mWindow;
  if (w.handledEvent || w.dispatching || w.buttons || IsDirty()) return false;
  auto* display = static_cast<Display*>(GetDisplay());
  if (XNextRequest(display) != w.requestsAfter || XEventsQueued(display, QueuedAlready) > 0) return false;
  pollfd connection{ConnectionNumber(display), POLLIN, 0};
  return poll(&connection, 1, 0) == 0;
}

void IGraphicsLinux::OnDisplayTick() {
  if (!mWindow || !mWindow->view || NothingToDispatch()) return;
  // What is dirty is drawn within this tick, not on a request that comes back later.
  ProcessEvents();
  PresentNow();
  // A release the window never saw (the pointer taken by another client, the focus
  // gone elsewhere): once no button this window holds is down any more, let go. Only
  // when every event sent before the query has been handled: a release still queued
  // (or the drag before it) is handled as it comes.
  if (mWindow && mWindow->buttons) {
    bool left = false, right = false;
    auto* display = static_cast<Display*>(GetDisplay());
    if (GetMouseButtonState(left, right) && XEventsQueued(display, QueuedAlready) == 0 &&
        !(left && (mWindow->buttons & kLeft)) && !(right && (mWindow->buttons & kRight))) {
      mWindow->buttons = 0;
      ReleaseHeldPointers();
      ReleasePointer();
    }
  }
}

void IGraphicsLinux::GetWindowPixels(int& w, int& h) const {
  if (!mWindow || !mWindow->view) return IGraphics::GetWindowPixels(w, h);
  const PuglRect frame = puglGetFrame(mWindow->view);
  w = frame.width;
  h = frame.height;
}

void IGraphicsLinux::RequestRedraw() {
  if (mWindow && mWindow->view) puglPostRedisplay(mWindow->view);
}

void IGraphicsLinux::PlatformResize() {
  if (!mWindow || !mWindow->view) return;
  // Resized at once, and known at that size before the window system confirms it, so
  // that the next frame is drawn at the new size.
  PuglRect frame = puglGetFrame(mWindow->view);
  frame.width = static_cast<PuglSpan>(ToPixels(WindowAreaWidth()));
  frame.height = static_cast<PuglSpan>(ToPixels(WindowAreaHeight()));
  puglSetFrame(mWindow->view, frame);
  puglPostRedisplay(mWindow->view);
}

bool IGraphicsLinux::GetMouseButtonState(bool& left, bool& right) {
  left = right = false;
  auto* display = static_cast<Display*>(GetDisplay());
  void* window = GetWindow();
  if (!display || !window) return false;
  ::Window root = 0, child = 0;
  int rx = 0, ry = 0, wx = 0, wy = 0;
  unsigned mask = 0;
  if (!XQueryPointer(display, reinterpret_cast<::Window>(window), &root, &child, &rx, &ry, &wx, &wy, &mask))
    return false;
  left = mask & Button1Mask;
  right = mask & Button3Mask;
  return true;
}

bool IGraphicsLinux::IsTopLevelWindowInForeground() {
  auto* display = static_cast<Display*>(GetDisplay());
  void* window = GetWindow();
  if (!display || !window) return false;
  // The editor's window and its ancestors up to the screen's root: the program's own
  // top-level window among them, and the window manager's frame around it when the
  // window manager reparents.
  std::vector<::Window> chain;
  ::Window root = 0;
  for (::Window w = reinterpret_cast<::Window>(window); w;) {
    chain.push_back(w);
    ::Window parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, w, &root, &parent, &children, &count)) return false;
    if (children) XFree(children);
    if (parent == root) break;
    w = parent;
  }
  const auto inChain = [&](::Window w) { return std::find(chain.begin(), chain.end(), w) != chain.end(); };
  // The window manager names the active window: the program's top-level client window,
  // which sits inside the frame.
  const Atom active = XInternAtom(display, "_NET_ACTIVE_WINDOW", True);
  if (active != None) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, root, active, 0, 1, False, AnyPropertyType, &type, &format, &items, &after,
                           &data) == Success &&
        data) {
      const ::Window front = items == 1 && format == 32 ? *reinterpret_cast<::Window*>(data) : 0;
      XFree(data);
      if (front) return inChain(front);
    }
  }
  // Without a window manager the keyboard focus tells.
  ::Window focus = 0;
  int revert = 0;
  XGetInputFocus(display, &focus, &revert);
  if (focus == None) return false;
  if (focus == PointerRoot) {
    // Keys go to the window under the pointer.
    ::Window r = 0, child = 0;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned mask = 0;
    return XQueryPointer(display, root, &r, &child, &rx, &ry, &wx, &wy, &mask) && inChain(child);
  }
  // The focus may be the top-level window, one inside it, or one of its ancestors.
  if (inChain(focus)) return true;
  for (::Window w = focus; w && w != root;) {
    if (inChain(w)) return true;
    ::Window r = 0, p = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, w, &r, &p, &children, &count)) return false;
    if (children) XFree(children);
    w = p;
  }
  return false;
}

bool IGraphicsLinux::CapturePointer() {
  auto* display = static_cast<Display*>(GetDisplay());
  void* window = GetWindow();
  if (!display || !window) return false;
  const unsigned mask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
  mWindow->grabbed = XGrabPointer(display, reinterpret_cast<::Window>(window), True, mask, GrabModeAsync, GrabModeAsync,
                                  None, None, CurrentTime) == GrabSuccess;
  return mWindow->grabbed;
}

void IGraphicsLinux::ReleasePointer() {
  if (!mWindow || !mWindow->grabbed) return;
  if (auto* display = static_cast<Display*>(GetDisplay())) XUngrabPointer(display, CurrentTime);
  mWindow->grabbed = false;
}

// The frame just drawn, from the back buffer before it is shown: the window's own
// pixels, never what the screen shows over it.
void IGraphicsLinux::ReadFrame(int width, int height) {
  Window& w = *mWindow;
  w.captureWanted = false;
  if (width <= 0 || height <= 0) return;
  const std::size_t row = static_cast<std::size_t>(width) * 4;
  std::vector<unsigned char> bottomUp(row * static_cast<std::size_t>(height));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
  if (glGetError() != GL_NO_ERROR) return;
  w.captured.resize(bottomUp.size());
  for (int y = 0; y < height; ++y)
    std::copy_n(bottomUp.data() + static_cast<std::size_t>(height - 1 - y) * row, row,
                w.captured.data() + static_cast<std::size_t>(y) * row);
  for (std::size_t i = 3; i < w.captured.size(); i += 4) w.captured[i] = 255;
  w.capturedW = width;
  w.capturedH = height;
}

void IGraphicsLinux::DrawPicture(int x, int y, int w, int h, int windowHeight, EDrawLayer layer) {
  // The part (x, y, w, h) of the window, in pixels from its top-left corner, drawn
  // through a viewport of that part only, so that the renderer fills no pixel outside
  // it; each pixel comes out as in a whole frame. It starts from the surround, or for
  // the changing layer from the copy of the still layer already there.
  const float s = std::max(GetScreenScale() * GetDrawScale(), 0.01f);
  int ox = 0, oy = 0;
  GetEditorOrigin(ox, oy);
  const IColor& c = GetSurroundColor();
  const int glY = windowHeight - y - h;
  glEnable(GL_SCISSOR_TEST);
  glScissor(x, glY, w, h);
  glClearColor(c.R / 255.f, c.G / 255.f, c.B / 255.f, 1.f);
  glClear((layer == EDrawLayer::kChanging ? 0 : GL_COLOR_BUFFER_BIT) | GL_STENCIL_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
  glViewport(x, glY, w, h);
  NVGcontext* vg = mWindow->vg;
  nvgBeginFrame(vg, w / s, h / s, s);
  nvgTranslate(vg, (ox - x) / s, (oy - y) / s);
  DrawControls(layer);
  nvgEndFrame(vg);
}

bool IGraphicsLinux::CopyStillLayer(int x, int y, int w, int h, int windowWidth, int windowHeight) {
  Window& win = *mWindow;
  if (win.noOffscreen || win.noStill || !win.stillWanted) return false;
  bool fresh = false;
  const bool made = win.still.Bind(windowWidth, windowHeight, fresh);
  win.noStill = !made;
  if (made) {
    int key[5] = {0, 0, Width(), Height(), static_cast<int>(std::lround(GetScreenScale() * GetDrawScale() * 1000.f))};
    GetEditorOrigin(key[0], key[1]);
    if (fresh || !win.stillDrawn || !std::equal(key, key + 5, win.stillKey)) {
      DrawPicture(0, 0, windowWidth, windowHeight, windowHeight, EDrawLayer::kStill);
      std::copy(key, key + 5, win.stillKey);
      win.stillDrawn = true;
    }
    const int glY = windowHeight - y - h;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, win.still.fbo);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, win.picture.fbo);
    glBlitFramebuffer(x, glY, x + w, glY + h, x, glY, x + w, glY + h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  }
  glBindFramebuffer(GL_FRAMEBUFFER, win.picture.fbo);
  return made;
}

void IGraphicsLinux::DrawExposed() {
  Window& w = *mWindow;
  const PuglRect frame = puglGetFrame(w.view);
  const int W = frame.width, H = frame.height;
  bool fresh = false;
  if (w.vg && !w.noOffscreen && !w.picture.Bind(W, H, fresh)) w.noOffscreen = true;
  if (!w.vg) {
    glClear(GL_COLOR_BUFFER_BIT);
  } else if (w.noOffscreen) {
    DrawPicture(0, 0, W, H, H, EDrawLayer::kAll);
  } else {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    if (fresh || AnyControlDirty()) {
      x1 = W;
      y1 = H;
    } else if (const IRECT& r = GetDirtyRegion(); !r.Empty()) {
      // Only the dirty part, in whole pixels with a margin for edge smoothing.
      const float s = std::max(GetScreenScale() * GetDrawScale(), 0.01f);
      int ox = 0, oy = 0;
      GetEditorOrigin(ox, oy);
      x0 = std::max(0, static_cast<int>(std::floor(ox + r.L * s)) - 2);
      y0 = std::max(0, static_cast<int>(std::floor(oy + r.T * s)) - 2);
      x1 = std::min(W, static_cast<int>(std::ceil(ox + r.R * s)) + 2);
      y1 = std::min(H, static_cast<int>(std::ceil(oy + r.B * s)) + 2);
    }
    if (x1 > x0 && y1 > y0) {
      // The still layer is copied in and the rest drawn over it.
      const bool still = CopyStillLayer(x0, y0, x1 - x0, y1 - y0, W, H);
      DrawPicture(x0, y0, x1 - x0, y1 - y0, H, still ? EDrawLayer::kChanging : EDrawLayer::kAll);
    }
    // Nothing dirty: the window system asked, and the kept picture is shown again.
    w.picture.Show();
  }
  glViewport(0, 0, W, H);
  if (w.captureWanted) ReadFrame(W, H);
  SetAllClean();
  ++w.frames;
}

void IGraphicsLinux::PresentNow() {
  if (!mWindow || !mWindow->view || !IsDirty()) return;
  if (mWindow->dispatching) return RequestRedraw();  // drawn when the dispatch ends
  auto* display = static_cast<Display*>(GetDisplay());
  puglPostRedisplay(mWindow->view);
  // The window has its new size and the request to draw is back before dispatching.
  XSync(display, False);
  ProcessEvents();
}

int IGraphicsLinux::HandleEvent(const void* e) {
  const PuglEvent& event = *static_cast<const PuglEvent*>(e);
  Window& w = *mWindow;
  if (event.type != PUGL_UPDATE) w.handledEvent = true;
  const float s = std::max(GetScreenScale() * GetDrawScale(), 0.01f);
  // Window pixels to editor units, through the editor's placement in the window.
  int ox = 0, oy = 0;
  GetEditorOrigin(ox, oy);
  const auto unitX = [&](double px) { return static_cast<float>(px - ox) / s; };
  const auto unitY = [&](double py) { return static_cast<float>(py - oy) / s; };
  switch (event.type) {
    case PUGL_CREATE:
      w.vg = nvgCreateGL2(NVG_ANTIALIAS | NVG_STENCIL_STROKES);
      // The software renderer reads the window's size again only after a buffer swap:
      // one swap while the window is still hidden, so that its first frame is drawn at
      // the size the window has by then.
      glXSwapBuffers(glXGetCurrentDisplay(), glXGetCurrentDrawable());
      break;
    case PUGL_DESTROY:
      w.picture.Free();
      w.still.Free();
      if (w.vg) nvgDeleteGL2(w.vg);
      w.vg = nullptr;
      break;
    case PUGL_EXPOSE:
      DrawExposed();
      break;
    case PUGL_BUTTON_PRESS:
    case PUGL_BUTTON_RELEASE: {
      const PuglButtonEvent& b = event.button;
      const unsigned bit = b.button == 0 ? kLeft : b.button == 1 ? kRight : 0u;
      if (!bit) break;
      IMouseInfo info;
      info.x = unitX(b.x);
      info.y = unitY(b.y);
      w.lastX = info.x;
      w.lastY = info.y;
      if (event.type == PUGL_BUTTON_PRESS) {
        w.buttons |= bit;
        info.ms = ModFrom(b.state, w.buttons);
        OnMouseDown({info});
      } else {
        w.buttons &= ~bit;
        info.ms = ModFrom(b.state, w.buttons);
        OnMouseUp({info});
        // A grab taken to keep a drag alive ends with the last button, as the window
        // system's own grab of a press does.
        if (!w.buttons && mWindow && mWindow->grabbed) ReleasePointer();
      }
      break;
    }
    case PUGL_MOTION: {
      const PuglMotionEvent& m = event.motion;
      IMouseInfo info;
      info.x = unitX(m.x);
      info.y = unitY(m.y);
      info.dX = info.x - w.lastX;
      info.dY = info.y - w.lastY;
      info.ms = ModFrom(m.state, w.buttons);
      w.lastX = info.x;
      w.lastY = info.y;
      if (w.buttons) OnMouseDrag({info});
      else OnMouseOver(info.x, info.y, info.ms);
      break;
    }
    case PUGL_POINTER_OUT:
      if (event.crossing.mode == PUGL_CROSSING_NORMAL && !w.buttons) OnMouseOut();
      break;
    case PUGL_SCROLL: {
      const PuglScrollEvent& sc = event.scroll;
      float d = 0.f;
      if (sc.direction == PUGL_SCROLL_UP) d = 1.f;
      else if (sc.direction == PUGL_SCROLL_DOWN) d = -1.f;
      else if (sc.direction == PUGL_SCROLL_SMOOTH) d = static_cast<float>(sc.dy);
      if (d != 0.f) OnMouseWheel(unitX(sc.x), unitY(sc.y), ModFrom(sc.state, w.buttons), d);
      break;
    }
    case PUGL_KEY_PRESS:
      OnKeyDown(w.lastX, w.lastY, KeyFromPugl(event.key));
      break;
    case PUGL_KEY_RELEASE:
      OnKeyUp(w.lastX, w.lastY, KeyFromPugl(event.key));
      break;
    default:
      break;
  }
  return PUGL_SUCCESS;
}

static PuglStatus OnPuglEvent(PuglView* view, const PuglEvent* event) {
  auto* g = static_cast<IGraphicsLinux*>(puglGetHandle(view));
  return g ? static_cast<PuglStatus>(g->HandleEvent(event)) : PUGL_SUCCESS;
}

}  // namespace iplug::igraphics
