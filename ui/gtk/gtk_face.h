#pragma once
// The GTK+ 2 window: the widgets of the layout, the surface over them and the window's
// rules. The handlers the layout names call into the one face main creates.
// Everything here runs on the main thread.

#include <functional>
#include <string>
#include <vector>

#include "app/settings.h"
#include "ui/connect_dialog.h"
#include "ui/chat_session.h"
#include "ui/chat_window.h"
#include "ui/gtk/gtk_surface.h"
#include "ui/gtk/main_widgets.h"

namespace velmora {

// Where the connection dialog reads and stores the settings.
struct SettingsAccess {
  std::function<Settings()> get;
  std::function<void(const Settings&)> put;
};

class GtkFace {
public:
  GtkFace(ChatSession& session, SettingsAccess settings, MainWidgets widgets,
          std::string program_folder);
  ~GtkFace();
  GtkFace(const GtkFace&) = delete;
  GtkFace& operator=(const GtkFace&) = delete;

  // Start-up: the two "show" signals, then the chat view's text tags.
  void connect_show_signals();
  void create_tags();
  // The chat window when nick, channel and key are set and auto-connect is on,
  // otherwise the connection dialog.
  void show_first_window();

  // What the handlers do.
  void window1_shown();
  void window2_shown();
  void connect_dialog_confirmed();
  void use_tls_toggled();
  void input_key_pressed(guint keyval);
  void connect_clicked() { window_.on_connect_clicked(); }
  void disconnect_clicked() { window_.on_disconnect_clicked(); }
  void raw_traffic_toggled() { window_.toggle_raw_traffic(); }
  void key_check() { window_.show_key_check(); }
  void quit();
  void connect_dialog_closed();
  void about_box();

  // The timer, for tests that drive the window tick by tick.
  bool tick() { return window_.poll_inbound(); }
  // A 20 ms timer or, while the window is idle, a watch on the change descriptor.
  bool timer_installed() const { return timer_id_ != 0; }
  bool asleep() const { return asleep_; }

  // Main-loop callbacks: a timer tick, and the change descriptor turning readable.
  // Each returns whether its own source stays installed.
  bool on_timer();
  bool on_change();
  bool quitting() const { return quitting_; }

  const MainWidgets& widgets() const { return widgets_; }
  GtkSurface& surface() { return surface_; }
  ChatWindow& window() { return window_; }

private:
  GtkEntry* entry(const char* name) const;
  GtkToggleButton* use_tls_button() const;
  void focus_dialog_field(DialogField field, bool clear);
  void install_timer();
  void install_watch();

  MainWidgets widgets_;
  SettingsAccess settings_;
  std::string program_folder_;
  GtkSurface surface_;
  ChatWindow window_;
  GIOChannel* changes_ = nullptr;  // over the session's change descriptor, if any
  std::vector<guint> signal_ids_;   // SIGTERM and SIGINT watches
  // The installed source, timer or watch; removing it stops the window's ticks.
  guint timer_id_ = 0;
  bool asleep_ = false;
  bool quitting_ = false;
  bool showing_entries_ = false;  // the dialog is filled in: a toggle is not the user's
};

// The face the handlers reach; main sets it once before connecting them.
void set_active_face(GtkFace* face);

// Connects every handler the layout names, looked up by name in the program's table of
// the handlers below. A name missing from the table is reported on stderr and left
// unconnected. GtkBuilder hands its signal list out once: call this once per layout.
void connect_layout_handlers(const MainWidgets& widgets);

// The handler the table holds under `name`, or nullptr.
GCallback layout_handler(const char* name);

}  // namespace velmora

// The handlers, under the names gui.glade gives them.
extern "C" {
void on_window1_show(GtkWidget* widget, gpointer data);
void on_window2_show(GtkWidget* widget, gpointer data);
void on_button1_clicked(GtkButton* button, gpointer data);
gboolean on_entry1_key_press_event(GtkWidget* widget, GdkEventKey* event, gpointer data);
void on_toolbutton1_clicked(GtkWidget* widget, gpointer data);
void on_toolbutton2_clicked(GtkWidget* widget, gpointer data);
void on_toolbutton4_clicked(GtkWidget* widget, gpointer data);
void on_toolbutton6_toggled(GtkToggleToolButton* button, gpointer data);
void on_checkbutton1_toggled(GtkToggleButton* button, gpointer data);
gboolean on_window1_delete_event(GtkWidget* widget, GdkEvent* event, gpointer data);
gboolean on_window2_delete_event(GtkWidget* widget, GdkEvent* event, gpointer data);
void on_imagemenuitem10_activate(GtkMenuItem* item, gpointer data);
void on_menuitem2_activate(GtkMenuItem* item, gpointer data);
void on_menuitem5_activate(GtkMenuItem* item, gpointer data);
}
