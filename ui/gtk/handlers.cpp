// The handlers gui.glade names. GTK's C callbacks cannot carry the face, so they reach
// the one main creates through this pointer.
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

}  // extern "C"
