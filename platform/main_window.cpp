#include "platform/main_window.h"

#include <X11/Xlib.h>
#include <gdk/gdkkeysyms.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace platform {

struct MainWindow::Impl {
  MainWindow* self = nullptr;
  GtkWidget* window = nullptr;
  GtkWidget* box = nullptr;
  GtkWidget* menuBar = nullptr;
  GtkWidget* content = nullptr;
  GtkAccelGroup* accels = nullptr;
  int snapPending = 0;
  int lastW = 0, lastH = 0;
  int wantW = 0, wantH = 0;  // the content size the size rule asked for
  std::vector<std::pair<guint, GdkModifierType>> grabs;
};

namespace {

KeyEvent toKey(const GdkEventKey* e) {
  KeyEvent k;
  const guint v = gdk_keyval_to_upper(e->keyval);
  if (v == GDK_KEY_space) k.code = 32;
  else if (v == GDK_KEY_Escape) k.code = 27;
  else if (v == GDK_KEY_Return || v == GDK_KEY_KP_Enter) k.code = 13;
  else if (v >= GDK_KEY_A && v <= GDK_KEY_Z) k.code = static_cast<int>('A' + (v - GDK_KEY_A));
  else if (v >= GDK_KEY_0 && v <= GDK_KEY_9) k.code = static_cast<int>('0' + (v - GDK_KEY_0));
  const gunichar c = gdk_keyval_to_unicode(e->keyval);
  if (c) g_unichar_to_utf8(c, k.text);
  k.shift = e->state & GDK_SHIFT_MASK;
  k.control = e->state & GDK_CONTROL_MASK;
  k.alt = e->state & GDK_MOD1_MASK;
  return k;
}

gboolean onKeyEvent(GtkWidget* w, GdkEventKey* e, gpointer data) {
  auto* impl = static_cast<MainWindow::Impl*>(data);
  if (impl->self->ModalOpen()) return TRUE;
  const bool up = e->type == GDK_KEY_RELEASE;
  if (!up && gtk_window_activate_key(GTK_WINDOW(w), e)) return TRUE;
  if (gtk_window_propagate_key_event(GTK_WINDOW(w), e)) return TRUE;
  if (impl->self->onKey) impl->self->onKey(toKey(e), up);
  // Always used: the window's own bindings would otherwise take Space and Return.
  return TRUE;
}

gboolean onAccel(GtkAccelGroup*, GObject*, guint, GdkModifierType, gpointer data) {
  auto* pair = static_cast<std::pair<MainWindow*, int>*>(data);
  MainWindow* self = pair->first;
  if (self->ModalOpen()) return TRUE;
  if (pair->second && self->onCommand) {
    const int command = pair->second;
    // Commands may open dialogs; never from inside the key event's dispatch.
    g_idle_add_full(
        G_PRIORITY_HIGH_IDLE,
        [](gpointer p) -> gboolean {
          auto* c = static_cast<std::pair<MainWindow*, int>*>(p);
          if (c->first->onCommand) c->first->onCommand(c->second);
          delete c;
          return G_SOURCE_REMOVE;
        },
        new std::pair<MainWindow*, int>(self, command), nullptr);
  }
  return TRUE;
}

void onMenuActivate(GtkMenuItem*, gpointer data) {
  auto* pair = static_cast<std::pair<MainWindow*, int>*>(data);
  if (pair->first->onCommand) pair->first->onCommand(pair->second);
}

void onRealize(GtkWidget* w, gpointer data) {
  auto* impl = static_cast<MainWindow::Impl*>(data);
  GdkWindow* gw = gtk_widget_get_window(w);
  gdk_window_ensure_native(gw);
  // The embedded view uses the window id on its own connection: make sure the server
  // knows the window before it does.
  XSync(GDK_DISPLAY_XDISPLAY(gdk_window_get_display(gw)), False);
  if (impl->self->onContentRealize) impl->self->onContentRealize(GDK_WINDOW_XID(gw));
}

void onUnrealize(GtkWidget*, gpointer data) {
  auto* impl = static_cast<MainWindow::Impl*>(data);
  if (impl->self->onContentUnrealize) impl->self->onContentUnrealize();
}

// A content size that breaks the size rule (a drag of the window's edge) is corrected to
// the size the rule gives, deferred: the window cannot be resized inside its allocation.
void onSizeAllocate(GtkWidget*, GdkRectangle* r, gpointer data) {
  auto* impl = static_cast<MainWindow::Impl*>(data);
  if (r->width == impl->lastW && r->height == impl->lastH) return;
  impl->lastW = r->width;
  impl->lastH = r->height;
  int w = r->width, h = r->height;
  // Asked before the content learns its new size, so the rule sees which edge moved.
  if (impl->self->constrainContent && w > 1 && h > 1 && !impl->self->constrainContent(w, h)) {
    impl->wantW = w;
    impl->wantH = h;
    if (!impl->snapPending) {
      impl->snapPending = 1;
      g_idle_add(
          [](gpointer p) -> gboolean {
            auto* im = static_cast<MainWindow::Impl*>(p);
            im->snapPending = 0;
            const int cw = gtk_widget_get_allocated_width(im->content);
            const int ch = gtk_widget_get_allocated_height(im->content);
            if (cw != im->wantW || ch != im->wantH) {
              int ww, wh;
              gtk_window_get_size(GTK_WINDOW(im->window), &ww, &wh);
              gtk_window_resize(GTK_WINDOW(im->window), ww + (im->wantW - cw), wh + (im->wantH - ch));
            }
            return G_SOURCE_REMOVE;
          },
          impl);
    }
  }
  if (impl->self->onContentResize) impl->self->onContentResize(r->width, r->height);
}

// Every main window that exists, for finding the one that holds a native window.
std::vector<MainWindow*>& liveWindows() {
  static std::vector<MainWindow*> windows;
  return windows;
}

gboolean onDelete(GtkWidget*, GdkEvent*, gpointer data) {
  auto* impl = static_cast<MainWindow::Impl*>(data);
  if (impl->self->onCloseRequest) impl->self->onCloseRequest();
  return TRUE;
}

}  // namespace

MainWindow::MainWindow(const std::string& title, const std::vector<MenuItem>& menu) : mImpl(new Impl) {
  mImpl->self = this;
  liveWindows().push_back(this);
  mImpl->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(mImpl->window), title.c_str());
  mImpl->accels = gtk_accel_group_new();
  gtk_window_add_accel_group(GTK_WINDOW(mImpl->window), mImpl->accels);

  mImpl->box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_container_add(GTK_CONTAINER(mImpl->window), mImpl->box);
  mImpl->menuBar = gtk_menu_bar_new();
  gtk_box_pack_start(GTK_BOX(mImpl->box), mImpl->menuBar, FALSE, FALSE, 0);

  std::vector<std::pair<std::string, GtkWidget*>> menus;
  for (const MenuItem& item : menu) {
    GtkWidget* sub = nullptr;
    for (auto& m : menus)
      if (m.first == item.menu) sub = m.second;
    if (!sub) {
      GtkWidget* top = gtk_menu_item_new_with_mnemonic(item.menu.c_str());
      sub = gtk_menu_new();
      gtk_menu_set_accel_group(GTK_MENU(sub), mImpl->accels);
      gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), sub);
      gtk_menu_shell_append(GTK_MENU_SHELL(mImpl->menuBar), top);
      menus.emplace_back(item.menu, sub);
    }
    GtkWidget* mi = gtk_menu_item_new_with_mnemonic(item.label.c_str());
    g_signal_connect_data(
        mi, "activate", G_CALLBACK(onMenuActivate), new std::pair<MainWindow*, int>(this, item.command),
        [](gpointer p, GClosure*) { delete static_cast<std::pair<MainWindow*, int>*>(p); }, GConnectFlags(0));
    if (!item.accelerator.empty()) {
      guint key = 0;
      GdkModifierType mods{};
      gtk_accelerator_parse(item.accelerator.c_str(), &key, &mods);
      if (key) {
        gtk_widget_add_accelerator(mi, "activate", mImpl->accels, key, mods, GTK_ACCEL_VISIBLE);
        mImpl->grabs.emplace_back(key, mods);
      }
    }
    gtk_menu_shell_append(GTK_MENU_SHELL(sub), mi);
  }

  mImpl->content = gtk_drawing_area_new();
  gtk_widget_set_can_focus(mImpl->content, TRUE);
  gtk_box_pack_start(GTK_BOX(mImpl->box), mImpl->content, TRUE, TRUE, 0);
  g_signal_connect(mImpl->content, "realize", G_CALLBACK(onRealize), mImpl);
  g_signal_connect(mImpl->content, "unrealize", G_CALLBACK(onUnrealize), mImpl);
  g_signal_connect(mImpl->content, "size-allocate", G_CALLBACK(onSizeAllocate), mImpl);
  g_signal_connect(mImpl->window, "key-press-event", G_CALLBACK(onKeyEvent), mImpl);
  g_signal_connect(mImpl->window, "key-release-event", G_CALLBACK(onKeyEvent), mImpl);
  g_signal_connect(mImpl->window, "delete-event", G_CALLBACK(onDelete), mImpl);
  // Everything inside is shown now, so that the menu bar's height is known before the
  // window is sized; the window itself shows with Show().
  gtk_widget_show_all(mImpl->box);
}

MainWindow::~MainWindow() {
  auto& live = liveWindows();
  live.erase(std::remove(live.begin(), live.end(), this), live.end());
  if (mImpl->window) gtk_widget_destroy(mImpl->window);
  g_object_unref(mImpl->accels);
  delete mImpl;
}

void MainWindow::AddShortcut(const std::string& accelerator, int command) {
  guint key = 0;
  GdkModifierType mods{};
  gtk_accelerator_parse(accelerator.c_str(), &key, &mods);
  if (!key) return;
  GClosure* closure = g_cclosure_new(
      G_CALLBACK(onAccel), new std::pair<MainWindow*, int>(this, command),
      [](gpointer p, GClosure*) { delete static_cast<std::pair<MainWindow*, int>*>(p); });
  gtk_accel_group_connect(mImpl->accels, key, mods, GtkAccelFlags(0), closure);
  mImpl->grabs.emplace_back(key, mods);
}

void MainWindow::SetContentSize(int w, int h) {
  gtk_widget_set_size_request(mImpl->content, 1, 1);
  int mh = 0;
  gtk_widget_get_preferred_height(mImpl->menuBar, &mh, nullptr);
  gtk_window_resize(GTK_WINDOW(mImpl->window), w, h + mh);
}

void MainWindow::SetContentLimits(int minW, int minH, int maxW, int maxH) {
  int menuH = 0;
  gtk_widget_get_preferred_height(mImpl->menuBar, &menuH, nullptr);
  GdkGeometry g{};
  g.min_width = minW;
  g.min_height = minH + menuH;
  g.max_width = maxW;
  g.max_height = maxH + menuH;
  g.base_width = 0;
  g.base_height = menuH;
  gtk_window_set_geometry_hints(GTK_WINDOW(mImpl->window), nullptr, &g,
                                GdkWindowHints(GDK_HINT_MIN_SIZE | GDK_HINT_MAX_SIZE | GDK_HINT_BASE_SIZE));
}

// The window's shortcuts are grabbed on the whole window: pressed while the pointer is
// over the embedded view (which takes keys on a connection of its own), they still reach
// this window and never the view.
static void grabShortcuts(MainWindow::Impl* impl) {
  GdkWindow* gw = gtk_widget_get_window(impl->window);
  if (!gw) return;
  Display* dpy = GDK_DISPLAY_XDISPLAY(gdk_window_get_display(gw));
  const ::Window xid = GDK_WINDOW_XID(gw);
  for (const auto& [keyval, mods] : impl->grabs) {
    const KeyCode code = XKeysymToKeycode(dpy, keyval);
    if (!code) continue;
    unsigned x = 0;
    if (mods & GDK_SHIFT_MASK) x |= ShiftMask;
    if (mods & GDK_CONTROL_MASK) x |= ControlMask;
    if (mods & GDK_MOD1_MASK) x |= Mod1Mask;
    // Also with Num Lock and Caps Lock on.
    for (unsigned extra : {0u, static_cast<unsigned>(LockMask), static_cast<unsigned>(Mod2Mask),
                           static_cast<unsigned>(LockMask | Mod2Mask)})
      XGrabKey(dpy, code, x | extra, xid, True, GrabModeAsync, GrabModeAsync);
  }
  XSync(dpy, False);
}

void MainWindow::Show() {
  gtk_widget_show_all(mImpl->window);
  grabShortcuts(mImpl);
}
void MainWindow::Present() { gtk_window_present(GTK_WINDOW(mImpl->window)); }
void MainWindow::Centre() { gtk_window_set_position(GTK_WINDOW(mImpl->window), GTK_WIN_POS_CENTER); }
void* MainWindow::Handle() const { return mImpl->window; }

MainWindow* MainWindow::Holding(unsigned long nativeWindow) {
  GdkDisplay* display = gdk_display_get_default();
  if (!nativeWindow || !display || !GDK_IS_X11_DISPLAY(display)) return nullptr;
  Display* dpy = GDK_DISPLAY_XDISPLAY(display);
  // Up from the given window to the root: the first window that is some main window's
  // content area names its holder. An embedded view is a child of that area.
  ::Window w = nativeWindow;
  for (int depth = 0; w && depth < 32; ++depth) {
    for (MainWindow* m : liveWindows()) {
      GdkWindow* content = m->mImpl->content ? gtk_widget_get_window(m->mImpl->content) : nullptr;
      if (content && GDK_WINDOW_XID(content) == w) return m;
    }
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    // A window that is gone is an X error, trapped here instead of ending the program.
    gdk_x11_display_error_trap_push(display);
    const Status ok = XQueryTree(dpy, w, &root, &parent, &children, &count);
    gdk_x11_display_error_trap_pop_ignored(display);
    if (!ok) return nullptr;
    if (children) XFree(children);
    if (parent == root) return nullptr;
    w = parent;
  }
  return nullptr;
}

void MainWindow::SetModalOpen(bool open) { mModal += open ? 1 : -1; }

void MainWindow::ContentSize(int& w, int& h) const {
  w = gtk_widget_get_allocated_width(mImpl->content);
  h = gtk_widget_get_allocated_height(mImpl->content);
}

}  // namespace platform
