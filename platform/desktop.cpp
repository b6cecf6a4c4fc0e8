#include "platform/desktop.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "platform/main_window.h"

extern char** environ;

namespace platform {

namespace {

bool gDesktop = false;

struct Callback {
  std::function<bool()> fn;
};

gboolean runTimer(gpointer data) { return static_cast<Callback*>(data)->fn() ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE; }
void freeCallback(gpointer data) { delete static_cast<Callback*>(data); }

// A source for an X connection that another library reads: ready when the socket is
// readable or when Xlib already holds events read by some other call.
struct XSource {
  GSource source;
  Display* display;
  GPollFD poll;
  std::function<void()>* dispatch;
};

gboolean xPrepare(GSource* s, gint* timeout) {
  *timeout = -1;
  return XEventsQueued(reinterpret_cast<XSource*>(s)->display, QueuedAlready) > 0;
}
gboolean xCheck(GSource* s) {
  auto* x = reinterpret_cast<XSource*>(s);
  return (x->poll.revents & G_IO_IN) || XEventsQueued(x->display, QueuedAlready) > 0;
}
gboolean xDispatch(GSource* s, GSourceFunc, gpointer) {
  (*reinterpret_cast<XSource*>(s)->dispatch)();
  return G_SOURCE_CONTINUE;
}
void xFinalize(GSource* s) { delete reinterpret_cast<XSource*>(s)->dispatch; }
GSourceFuncs gXFuncs = {xPrepare, xCheck, xDispatch, xFinalize, nullptr, nullptr};

}  // namespace

bool DesktopInit(int* argc, char*** argv) {
  // Core keyboard events: the main window's shortcut grabs are core grabs, whose events
  // GDK would not read while it takes input through the X input extension.
  ::setenv("GDK_CORE_DEVICE_EVENTS", "1", 0);
  gDesktop = gtk_init_check(argc, argv);
  return gDesktop;
}

void DesktopRun() { gtk_main(); }
void DesktopQuit() {
  if (gtk_main_level() > 0) gtk_main_quit();
}

unsigned AddTimer(unsigned ms, std::function<bool()> fn) {
  return g_timeout_add_full(G_PRIORITY_DEFAULT, ms, runTimer, new Callback{std::move(fn)}, freeCallback);
}

void RemoveTimer(unsigned id) {
  if (id) g_source_remove(id);
}

void WatchFd(int fd, std::function<void()> onReadable) {
  g_unix_fd_add_full(
      G_PRIORITY_DEFAULT, fd, G_IO_IN,
      [](gint, GIOCondition, gpointer data) -> gboolean {
        static_cast<Callback*>(data)->fn();
        return G_SOURCE_CONTINUE;
      },
      new Callback{[f = std::move(onReadable)] {
        f();
        return true;
      }},
      freeCallback);
}

unsigned WatchXConnection(void* display, std::function<void()> dispatch) {
  auto* dpy = static_cast<Display*>(display);
  GSource* s = g_source_new(&gXFuncs, sizeof(XSource));
  auto* x = reinterpret_cast<XSource*>(s);
  x->display = dpy;
  x->dispatch = new std::function<void()>(std::move(dispatch));
  x->poll.fd = ConnectionNumber(dpy);
  x->poll.events = G_IO_IN;
  x->poll.revents = 0;
  g_source_add_poll(s, &x->poll);
  g_source_set_priority(s, GDK_PRIORITY_EVENTS);
  const unsigned id = g_source_attach(s, nullptr);
  g_source_unref(s);
  return id;
}

void RemoveWatch(unsigned id) {
  if (id) g_source_remove(id);
}

MessageResult ShowMessageBox(MainWindow* owner, const std::string& text, const std::string& title,
                             MessageButtons buttons) {
  if (!gDesktop) {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    return buttons == MessageButtons::kOk ? MessageResult::kOk : MessageResult::kNo;
  }
  GtkWindow* parent = owner ? static_cast<GtkWindow*>(owner->Handle()) : nullptr;
  GtkWidget* box = gtk_message_dialog_new(parent, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                          buttons == MessageButtons::kOk ? GTK_MESSAGE_INFO : GTK_MESSAGE_QUESTION,
                                          buttons == MessageButtons::kOk ? GTK_BUTTONS_OK : GTK_BUTTONS_YES_NO, "%s",
                                          text.c_str());
  gtk_window_set_title(GTK_WINDOW(box), title.c_str());
  if (owner) owner->SetModalOpen(true);
  gtk_window_present(GTK_WINDOW(box));
  const gint answer = gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
  if (owner) owner->SetModalOpen(false);
  if (buttons == MessageButtons::kOk) return MessageResult::kOk;
  return answer == GTK_RESPONSE_YES ? MessageResult::kYes : MessageResult::kNo;
}

void ShowMessageLater(unsigned long nativeOwner, const std::string& text, const std::string& title) {
  if (!gDesktop) {
    ShowMessageBox(nullptr, text, title, MessageButtons::kOk);
    return;
  }
  // The owner is looked up when the box opens: by then its window may be gone.
  AddTimer(0, [nativeOwner, text, title] {
    ShowMessageBox(MainWindow::Holding(nativeOwner), text, title, MessageButtons::kOk);
    return false;
  });
}

bool OpenWithDesktop(const std::string& target) {
  const char* argv[] = {"xdg-open", target.c_str(), nullptr};
  pid_t pid = -1;
  if (::posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) return false;
  // Reaped in the background: xdg-open returns once the application is started.
  std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
  return true;
}

}  // namespace platform
