#include "platform/form_dialog.h"

#include <gtk/gtk.h>

#include <algorithm>

#include "platform/main_window.h"

namespace platform {

namespace {

int px(int units) { return units * 7 / 4; }
int py(int units) { return units * 7 / 4; }

struct Sender {
  FormDialog* dialog;
  int id;
  int* quiet;
};

void report(Sender* s) {
  if (*s->quiet == 0 && s->dialog->onCommand) s->dialog->onCommand(s->id);
}

void freeSender(gpointer p, GClosure*) { delete static_cast<Sender*>(p); }

}  // namespace

FormDialog::FormDialog(MainWindow* owner, const std::string& title, int widthUnits, int heightUnits) : mOwner(owner) {
  GtkWidget* dialog = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
  gtk_window_set_type_hint(GTK_WINDOW(dialog), GDK_WINDOW_TYPE_HINT_DIALOG);
  if (owner) {
    gtk_window_set_transient_for(GTK_WINDOW(dialog), static_cast<GtkWindow*>(owner->Handle()));
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER_ON_PARENT);
  } else {
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  }
  GtkWidget* fixed = gtk_fixed_new();
  gtk_widget_set_size_request(fixed, px(widthUnits), py(heightUnits));
  gtk_container_add(GTK_CONTAINER(dialog), fixed);
  mDialog = dialog;
  mFixed = fixed;
}

FormDialog::~FormDialog() {
  if (mDialog) gtk_widget_destroy(static_cast<GtkWidget*>(mDialog));
}

void FormDialog::AddGroup(const std::string& text, int x, int y, int w, int h) {
  GtkWidget* frame = gtk_frame_new(text.c_str());
  gtk_widget_set_size_request(frame, px(w), py(h));
  gtk_fixed_put(GTK_FIXED(mFixed), frame, px(x), py(y));
}

void FormDialog::AddLabel(const std::string& text, int x, int y) {
  GtkWidget* label = gtk_label_new(text.c_str());
  gtk_widget_show(label);  // measured before the dialog shows
  gtk_fixed_put(GTK_FIXED(mFixed), label, px(x), py(y));
  mLabels.push_back({label, px(x), py(y)});
}

namespace {

void scaleLabel(void* label, double scale) {
  PangoAttrList* attrs = pango_attr_list_new();
  pango_attr_list_insert(attrs, pango_attr_scale_new(scale));
  gtk_label_set_attributes(GTK_LABEL(label), attrs);
  pango_attr_list_unref(attrs);
}

int naturalWidth(void* label) {
  int natural = 0;
  gtk_widget_get_preferred_width(static_cast<GtkWidget*>(label), nullptr, &natural);
  return natural;
}

}  // namespace

void FormDialog::FitLabels() {
  if (mLabelsFitted) return;
  mLabelsFitted = true;
  // The room of each label that has another to its right in the same row, against the
  // width its text takes. Font sizes come in steps, so the scale is lowered until the
  // tightest label fits; all labels then take that scale.
  constexpr int kGap = 6;  // pixels between neighbours
  constexpr double kSmallest = 0.7, kStep = 0.02;
  double scale = 1.0;
  for (const Label& l : mLabels) {
    int next = -1;
    for (const Label& o : mLabels)
      if (o.y == l.y && o.x > l.x && (next < 0 || o.x < next)) next = o.x;
    if (next < 0) continue;
    const int room = next - l.x - kGap;
    if (scale < 1.0) scaleLabel(l.widget, scale);  // measured at the scale found so far
    while (scale > kSmallest && naturalWidth(l.widget) > room) {
      scale = std::max(kSmallest, scale - kStep);
      scaleLabel(l.widget, scale);
    }
  }
  if (scale < 1.0)
    for (const Label& l : mLabels) scaleLabel(l.widget, scale);
}

void FormDialog::AddCombo(int id, int x, int y, int w) {
  GtkWidget* combo = gtk_combo_box_text_new();
  gtk_widget_set_size_request(combo, px(w), -1);
  gtk_fixed_put(GTK_FIXED(mFixed), combo, px(x), py(y));
  g_signal_connect_data(combo, "changed",
                        G_CALLBACK(+[](GtkComboBox*, gpointer p) { report(static_cast<Sender*>(p)); }),
                        new Sender{this, id, &mQuiet}, freeSender, GConnectFlags(0));
  mCombos[id].widget = combo;
  mWidgets[id] = combo;
}

void FormDialog::AddCheck(int id, const std::string& text, int x, int y) {
  GtkWidget* check = gtk_check_button_new_with_label(text.c_str());
  gtk_fixed_put(GTK_FIXED(mFixed), check, px(x), py(y));
  g_signal_connect_data(check, "toggled",
                        G_CALLBACK(+[](GtkToggleButton*, gpointer p) { report(static_cast<Sender*>(p)); }),
                        new Sender{this, id, &mQuiet}, freeSender, GConnectFlags(0));
  mWidgets[id] = check;
}

void FormDialog::AddButton(int id, const std::string& text, int x, int y, int w, bool isDefault) {
  GtkWidget* button = gtk_button_new_with_label(text.c_str());
  gtk_widget_set_size_request(button, px(w), -1);
  gtk_fixed_put(GTK_FIXED(mFixed), button, px(x), py(y));
  g_signal_connect_data(button, "clicked", G_CALLBACK(+[](GtkButton*, gpointer p) { report(static_cast<Sender*>(p)); }),
                        new Sender{this, id, &mQuiet}, freeSender, GConnectFlags(0));
  if (isDefault) {
    gtk_widget_set_can_default(button, TRUE);
    gtk_window_set_default(GTK_WINDOW(mDialog), button);
  }
  mWidgets[id] = button;
}

int FormDialog::RunModal(int closeResult) {
  GtkWidget* dialog = static_cast<GtkWidget*>(mDialog);
  struct CloseData {
    FormDialog* self;
    int result;
  } close{this, closeResult};
  const gulong handler = g_signal_connect(dialog, "delete-event",
                                          G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer p) -> gboolean {
                                            auto* c = static_cast<CloseData*>(p);
                                            c->self->End(c->result);
                                            return TRUE;
                                          }),
                                          &close);
  if (mOwner) mOwner->SetModalOpen(true);
  FitLabels();
  gtk_widget_show_all(dialog);
  gtk_window_present(GTK_WINDOW(dialog));
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  mLoop = loop;
  if (!mEnded) g_main_loop_run(loop);
  mLoop = nullptr;
  g_main_loop_unref(loop);
  g_signal_handler_disconnect(dialog, handler);
  gtk_widget_hide(dialog);
  if (mOwner) mOwner->SetModalOpen(false);
  return mResult;
}

void FormDialog::End(int result) {
  mResult = result;
  mEnded = true;
  if (mLoop) g_main_loop_quit(static_cast<GMainLoop*>(mLoop));
}

void FormDialog::ComboClear(int id) {
  auto it = mCombos.find(id);
  if (it == mCombos.end()) return;
  ++mQuiet;
  gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(it->second.widget));
  --mQuiet;
  it->second.items.clear();
}

void FormDialog::ComboAdd(int id, const std::string& text, long data) {
  auto it = mCombos.find(id);
  if (it == mCombos.end()) return;
  gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(it->second.widget), text.c_str());
  it->second.items.emplace_back(text, data);
}

int FormDialog::ComboCount(int id) const {
  auto it = mCombos.find(id);
  return it == mCombos.end() ? 0 : static_cast<int>(it->second.items.size());
}

void FormDialog::ComboSelect(int id, int index) {
  auto it = mCombos.find(id);
  if (it == mCombos.end()) return;
  ++mQuiet;
  gtk_combo_box_set_active(GTK_COMBO_BOX(it->second.widget), index < ComboCount(id) ? index : -1);
  --mQuiet;
}

int FormDialog::ComboSelection(int id) const {
  auto it = mCombos.find(id);
  return it == mCombos.end() ? -1 : gtk_combo_box_get_active(GTK_COMBO_BOX(it->second.widget));
}

std::string FormDialog::ComboText(int id, int index) const {
  auto it = mCombos.find(id);
  if (it == mCombos.end() || index < 0 || index >= static_cast<int>(it->second.items.size())) return {};
  return it->second.items[static_cast<std::size_t>(index)].first;
}

long FormDialog::ComboData(int id, int index) const {
  auto it = mCombos.find(id);
  if (it == mCombos.end() || index < 0 || index >= static_cast<int>(it->second.items.size())) return 0;
  return it->second.items[static_cast<std::size_t>(index)].second;
}

void FormDialog::SetEnabled(int id, bool enabled) {
  auto it = mWidgets.find(id);
  if (it != mWidgets.end()) gtk_widget_set_sensitive(static_cast<GtkWidget*>(it->second), enabled);
}

void FormDialog::SetChecked(int id, bool checked) {
  auto it = mWidgets.find(id);
  if (it == mWidgets.end()) return;
  ++mQuiet;
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(it->second), checked);
  --mQuiet;
}

bool FormDialog::Checked(int id) const {
  auto it = mWidgets.find(id);
  return it != mWidgets.end() && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(it->second));
}

}  // namespace platform
