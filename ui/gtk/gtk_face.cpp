#include "ui/gtk/gtk_face.h"

#include <gdk/gdkkeysyms.h>
#include <glib-unix.h>
#include <cstdio>
#include <signal.h>

#include "ui/connect_dialog.h"
#include "ui/gtk/about_box.h"
#include "ui/gtk/text_tags.h"

namespace velmora {

namespace {

SurfaceWidgets surface_widgets(const MainWidgets& w) {
  return {GTK_WINDOW(w.window1),      GTK_TEXT_VIEW(w.textview1), GTK_TREE_VIEW(w.treeview1),
          GTK_STATUSBAR(w.statusbar1), w.toolbutton1,              w.imagemenuitem1,
          w.toolbutton2,               w.imagemenuitem2,           w.entry1};
}

gboolean on_tick(gpointer face) { return static_cast<GtkFace*>(face)->on_timer(); }

gboolean on_change_readable(GIOChannel*, GIOCondition, gpointer face) {
  return static_cast<GtkFace*>(face)->on_change();
}

// SIGTERM and SIGINT end the program as closing the window does: QUIT, a short wait.
gboolean on_stop_signal(gpointer face) {
  static_cast<GtkFace*>(face)->quit();
  return G_SOURCE_CONTINUE;
}

// The dialog's text entries: the field each stands for, its widget, its text.
struct DialogEntry {
  DialogField field;
  const char* widget;
  std::string DialogEntries::*text;
};
constexpr DialogEntry kDialogEntries[] = {
    {DialogField::Channel, "entry2", &DialogEntries::channel},
    {DialogField::Nick, "entry3", &DialogEntries::nick},
    {DialogField::Server, "entry5", &DialogEntries::server},
    {DialogField::Port, "entry6", &DialogEntries::port},
    {DialogField::Key, "entry7", &DialogEntries::key},
};

const char* entry_widget(DialogField field) {
  for (const DialogEntry& e : kDialogEntries) {
    if (e.field == field) return e.widget;
  }
  return nullptr;
}

}  // namespace

GtkFace::GtkFace(ChatSession& session, SettingsAccess settings, MainWidgets widgets,
                 std::string program_folder)
    : widgets_(widgets),
      settings_(std::move(settings)),
      program_folder_(std::move(program_folder)),
      surface_(surface_widgets(widgets_)),
      window_(session, surface_, program_folder_ + "/smilies") {
  if (session.change_fd() >= 0) changes_ = g_io_channel_unix_new(session.change_fd());
  for (int signal : {SIGTERM, SIGINT}) signal_ids_.push_back(g_unix_signal_add(signal, on_stop_signal, this));
}

GtkFace::~GtkFace() {
  for (guint id : signal_ids_) g_source_remove(id);
  if (timer_id_) g_source_remove(timer_id_);
  if (changes_) g_io_channel_unref(changes_);
}

void GtkFace::connect_show_signals() {
  g_signal_connect(widgets_.window1, "show", G_CALLBACK(on_window1_show), nullptr);
  g_signal_connect(widgets_.window2, "show", G_CALLBACK(on_window2_show), nullptr);
}

void GtkFace::create_tags() { create_text_tags(GTK_TEXT_VIEW(widgets_.textview1)); }

void GtkFace::show_first_window() {
  const StartChoice choice = start_choice(settings_.get());
  if (choice == StartChoice::BadPort) {
    // Connecting would reach another port than the one meant; the dialog asks instead.
    std::fprintf(stderr, "velmora: %s; asking for it\n", port_error().c_str());
  }
  gtk_widget_show_all(choice == StartChoice::Connect ? widgets_.window1 : widgets_.window2);
}

void GtkFace::window1_shown() {
  window_.on_window_shown();
  // One timer however often the window is shown: two would render every line twice.
  if (!timer_id_) install_timer();
}

// An idle window stops its timer and waits for the change signal; the measured cost of
// the 20 ms timer alone was 0.2 to 0.5% of a core, asleep it is nothing.
bool GtkFace::on_timer() {
  window_.poll_inbound();
  if (!window_.idle() || !changes_) return true;
  install_watch();
  return false;  // the watch replaces this timer
}

// Ticks at once, so a line that wakes the window is shown without waiting for a timer,
// then ticks every 20 ms until the window is idle again.
bool GtkFace::on_change() {
  window_.poll_inbound();
  if (window_.idle()) return true;  // a wake-up with nothing new: keep waiting
  install_timer();
  return false;
}

void GtkFace::install_timer() {
  asleep_ = false;
  timer_id_ = g_timeout_add(ChatWindow::kTickInterval.count(), on_tick, this);
}

void GtkFace::install_watch() {
  asleep_ = true;
  timer_id_ = g_io_add_watch(changes_, G_IO_IN, on_change_readable, this);
}

GtkEntry* GtkFace::entry(const char* name) const {
  return GTK_ENTRY(layout_widget(widgets_, name));
}

void GtkFace::window2_shown() {
  const Settings s = settings_.get();
  const DialogEntries shown = dialog_entries_from(s);
  for (const DialogEntry& e : kDialogEntries) {
    const std::string& text = shown.*e.text;
    if (!text.empty()) gtk_entry_set_text(entry(e.widget), valid_utf8(text).c_str());
  }
  showing_entries_ = true;  // the port shown is the settings', not a toggle's
  gtk_toggle_button_set_active(use_tls_button(), shown.use_tls);
  showing_entries_ = false;
  const DialogField focus = dialog_initial_focus(s);
  if (focus != DialogField::None) focus_dialog_field(focus, false);
}

GtkToggleButton* GtkFace::use_tls_button() const {
  return GTK_TOGGLE_BUTTON(layout_widget(widgets_, "checkbutton1"));
}

void GtkFace::use_tls_toggled() {
  if (showing_entries_) return;
  const bool use_tls = gtk_toggle_button_get_active(use_tls_button()) == TRUE;
  GtkEntry* port_entry = entry(entry_widget(DialogField::Port));
  const std::string port = port_after_tls_toggle(gtk_entry_get_text(port_entry), use_tls);
  gtk_entry_set_text(port_entry, port.c_str());
}

void GtkFace::focus_dialog_field(DialogField field, bool clear) {
  GtkEntry* target = entry(entry_widget(field));
  if (clear) gtk_entry_set_text(target, "");
  gtk_widget_grab_focus(GTK_WIDGET(target));
}

void GtkFace::connect_dialog_confirmed() {
  DialogEntries typed;
  for (const DialogEntry& e : kDialogEntries) typed.*e.text = gtk_entry_get_text(entry(e.widget));
  typed.use_tls = gtk_toggle_button_get_active(use_tls_button()) == TRUE;
  Settings s = settings_.get();
  const DialogVerdict verdict = apply_connect_entries(typed, s);
  settings_.put(s);  // kept even when a check fails
  if (!verdict.accepted()) {
    focus_dialog_field(verdict.focus, verdict.clear_field);
    return;
  }
  gtk_widget_hide(widgets_.window2);
  gtk_widget_show_all(widgets_.window1);
  gtk_entry_set_max_length(GTK_ENTRY(widgets_.entry1), input_max_length(s));
}

void GtkFace::input_key_pressed(guint keyval) {
  if (keyval != GDK_Return) return;  // keypad Enter is left alone
  const std::string typed = gtk_entry_get_text(GTK_ENTRY(widgets_.entry1));
  window_.on_input_return(typed);
  gtk_entry_set_text(GTK_ENTRY(widgets_.entry1), "");
}

void GtkFace::quit() {
  if (quitting_) return;
  quitting_ = true;
  if (timer_id_) g_source_remove(timer_id_);
  timer_id_ = 0;
  gtk_widget_hide(widgets_.window1);
  gdk_flush();  // the window goes away now, not after the wait for the server
  window_.quit_sequence();
  gtk_main_quit();
}

void GtkFace::connect_dialog_closed() {
  gtk_widget_hide(widgets_.window2);
  gtk_main_quit();
}

void GtkFace::about_box() { show_about_box(GTK_WINDOW(widgets_.window1), program_folder_); }

}  // namespace velmora
