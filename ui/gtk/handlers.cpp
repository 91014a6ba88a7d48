// The handlers gui.glade names. GTK's C callbacks cannot carry the face, so they reach
// the one main creates through this pointer.
#include <cstdio>
#include <cstring>

#include "ui/gtk/gtk_face.h"
#include "ui/gtk/home_page.h"

namespace velmora {
namespace {
GtkFace* active_face = nullptr;
}  // namespace

void set_active_face(GtkFace* face) { active_face = face; }

}  // namespace velmora

using velmora::active_face;

extern "C" {

void on_window1_show(GtkWidget*, gpointer) {
  if (active_face) active_face->window1_shown();
}

void on_window2_show(GtkWidget*, gpointer) {
  if (active_face) active_face->window2_shown();
}

void on_button1_clicked(GtkButton*, gpointer) {
  if (active_face) active_face->connect_dialog_confirmed();
}

gboolean on_entry1_key_press_event(GtkWidget*, GdkEventKey* event, gpointer) {
  if (active_face && event) active_face->input_key_pressed(event->keyval);
  return FALSE;  // the entry's own key handling still runs
}

void on_toolbutton1_clicked(GtkWidget*, gpointer) {
  if (active_face) active_face->connect_clicked();
}

void on_toolbutton2_clicked(GtkWidget*, gpointer) {
  if (active_face) active_face->disconnect_clicked();
}

void on_toolbutton4_clicked(GtkWidget*, gpointer) {
  if (active_face) active_face->quit();
}

void on_toolbutton6_toggled(GtkToggleToolButton*, gpointer) {
  if (active_face) active_face->raw_traffic_toggled();
}

void on_checkbutton1_toggled(GtkToggleButton*, gpointer) {
  if (active_face) active_face->use_tls_toggled();
}

gboolean on_window1_delete_event(GtkWidget*, GdkEvent*, gpointer) {
  if (active_face) active_face->quit();
  return TRUE;  // hidden, not destroyed: the widgets outlive the main loop
}

gboolean on_window2_delete_event(GtkWidget*, GdkEvent*, gpointer) {
  if (active_face) active_face->connect_dialog_closed();
  return TRUE;
}

void on_imagemenuitem10_activate(GtkMenuItem*, gpointer) {
  if (active_face) active_face->about_box();
}

void on_menuitem2_activate(GtkMenuItem*, gpointer) { velmora::open_home_page(); }

void on_menuitem5_activate(GtkMenuItem*, gpointer) {
  if (active_face) active_face->key_check();
}

}  // extern "C"

namespace velmora {
namespace {

struct NamedHandler {
  const char* name;
  GCallback handler;
};

// The two "show" handlers are connected by the face itself, not by the layout.
const NamedHandler kHandlers[] = {
    {"on_window1_show", G_CALLBACK(on_window1_show)},
    {"on_window2_show", G_CALLBACK(on_window2_show)},
    {"on_button1_clicked", G_CALLBACK(on_button1_clicked)},
    {"on_entry1_key_press_event", G_CALLBACK(on_entry1_key_press_event)},
    {"on_toolbutton1_clicked", G_CALLBACK(on_toolbutton1_clicked)},
    {"on_toolbutton2_clicked", G_CALLBACK(on_toolbutton2_clicked)},
    {"on_toolbutton4_clicked", G_CALLBACK(on_toolbutton4_clicked)},
    {"on_toolbutton6_toggled", G_CALLBACK(on_toolbutton6_toggled)},
    {"on_checkbutton1_toggled", G_CALLBACK(on_checkbutton1_toggled)},
    {"on_window1_delete_event", G_CALLBACK(on_window1_delete_event)},
    {"on_window2_delete_event", G_CALLBACK(on_window2_delete_event)},
    {"on_imagemenuitem10_activate", G_CALLBACK(on_imagemenuitem10_activate)},
    {"on_menuitem2_activate", G_CALLBACK(on_menuitem2_activate)},
    {"on_menuitem5_activate", G_CALLBACK(on_menuitem5_activate)},
};

void connect_one(GtkBuilder*, GObject* object, const gchar* signal, const gchar* name,
                 GObject* connect_object, GConnectFlags flags, gpointer) {
  GCallback handler = layout_handler(name);
  if (!handler) {
    std::fprintf(stderr, "velmora: the window layout names an unknown handler \"%s\"\n", name);
  } else if (connect_object) {
    g_signal_connect_object(object, signal, handler, connect_object, flags);
  } else {
    g_signal_connect_data(object, signal, handler, nullptr, nullptr, flags);
  }
}

}  // namespace

GCallback layout_handler(const char* name) {
  for (const NamedHandler& entry : kHandlers) {
    if (std::strcmp(entry.name, name) == 0) return entry.handler;
  }
  return nullptr;
}

void connect_layout_handlers(const MainWidgets& widgets) {
  if (widgets.glade) gtk_builder_connect_signals_full(widgets.glade, connect_one, nullptr);
}

}  // namespace velmora
