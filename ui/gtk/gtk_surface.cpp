#include "ui/gtk/gtk_surface.h"

#include "ui/display_text.h"

namespace velmora {

std::string valid_utf8(const std::string& text) {
  return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)
             ? text
             : display_text(text);
}

GtkSurface::GtkSurface(SurfaceWidgets widgets) : widgets_(widgets) {}

void GtkSurface::insert_text(const std::string& text, const std::vector<std::string>& tags) {
  const std::string shown = valid_utf8(text);
  GtkTextBuffer* buf = buffer();
  GtkTextIter end;
  gtk_text_buffer_get_end_iter(buf, &end);
  const int start_offset = gtk_text_iter_get_offset(&end);
  gtk_text_buffer_insert(buf, &end, shown.data(), static_cast<gint>(shown.size()));
  GtkTextIter start;
  gtk_text_buffer_get_iter_at_offset(buf, &start, start_offset);
  gtk_text_buffer_get_end_iter(buf, &end);
  for (const std::string& tag : tags) {
    gtk_text_buffer_apply_tag_by_name(buf, tag.c_str(), &start, &end);
  }
}

void GtkSurface::insert_image(const std::string& image_path, const std::string&) {
  GdkPixbuf* image =
      gdk_pixbuf_new_from_file_at_size(image_path.c_str(), kEmoticonSize, kEmoticonSize, nullptr);
  if (!image) return;  // undecodable: the word is consumed and nothing shows
  GtkTextIter end;
  gtk_text_buffer_get_end_iter(buffer(), &end);
  gtk_text_buffer_insert_pixbuf(buffer(), &end, image);
  g_object_unref(image);
}

void GtkSurface::clear_view() { gtk_text_buffer_set_text(buffer(), "", 0); }

void GtkSurface::scroll_to_end() {
  GtkTextBuffer* buf = buffer();
  GtkTextIter end;
  gtk_text_buffer_get_end_iter(buf, &end);
  gtk_text_buffer_place_cursor(buf, &end);
  gtk_text_view_scroll_to_mark(widgets_.chat_view, gtk_text_buffer_get_insert(buf), 0.0, TRUE,
                               0.0, 1.0);
}

namespace {

void set_widget_sensitive(GtkWidget* widget, bool sensitive) {
  if (widget && bool(gtk_widget_get_sensitive(widget)) != sensitive) {
    gtk_widget_set_sensitive(widget, sensitive);
  }
}

}  // namespace

void GtkSurface::set_sensitive(Control control, bool sensitive) {
  switch (control) {
    case Control::ConnectButton:
      set_widget_sensitive(widgets_.connect_button, sensitive);
      set_widget_sensitive(widgets_.connect_item, sensitive);
      break;
    case Control::DisconnectButton:
      set_widget_sensitive(widgets_.disconnect_button, sensitive);
      set_widget_sensitive(widgets_.disconnect_item, sensitive);
      break;
    case Control::InputLine:
      if (sensitive && !gtk_widget_get_sensitive(widgets_.input_line)) {
        // The line opens once this client holds the key: put the cursor there.
        gtk_widget_set_sensitive(widgets_.input_line, TRUE);
        gtk_widget_grab_focus(widgets_.input_line);
      } else {
        set_widget_sensitive(widgets_.input_line, sensitive);
      }
      break;
  }
}

void GtkSurface::set_title(const std::string& title) {
  const std::string shown = valid_utf8(title);
  const char* current = gtk_window_get_title(widgets_.window1);
  if (current && shown == current) return;
  gtk_window_set_title(widgets_.window1, shown.c_str());
}

void GtkSurface::set_status_bar(const std::string& text) {
  const std::string shown = valid_utf8(text);
  if (shown_status_ == shown) return;
  gtk_statusbar_pop(widgets_.status_bar, 0);
  gtk_statusbar_push(widgets_.status_bar, 0, shown.c_str());
  shown_status_ = shown;
}

void GtkSurface::set_user_rows(const std::vector<UserRow>& rows) {
  if (shown_rows_ == rows) return;
  rebuild_user_list(rows);
  shown_rows_ = rows;
}

void GtkSurface::rebuild_user_list(const std::vector<UserRow>& rows) {
  GtkTreeView* view = widgets_.user_list;
  if (GList* columns = gtk_tree_view_get_columns(view)) {
    if (g_list_length(columns) == 1) {
      gtk_tree_view_remove_column(view, GTK_TREE_VIEW_COLUMN(columns->data));
    }
    g_list_free(columns);
  }
  GtkListStore* store = gtk_list_store_new(2, G_TYPE_STRING, G_TYPE_STRING);
  for (const UserRow& row : rows) {
    GtkTreeIter iter;
    gtk_list_store_append(store, &iter);
    const char* icon = row.holds_key ? GTK_STOCK_YES : GTK_STOCK_NO;
    gtk_list_store_set(store, &iter, 0, icon, 1, valid_utf8(row.nick).c_str(), -1);
  }
  gtk_tree_view_set_model(view, GTK_TREE_MODEL(store));
  g_object_unref(store);

  GtkTreeViewColumn* column = gtk_tree_view_column_new();
  GtkCellRenderer* icon = gtk_cell_renderer_pixbuf_new();
  gtk_tree_view_column_pack_start(column, icon, FALSE);
  gtk_tree_view_column_add_attribute(column, icon, "stock-id", 0);
  GtkCellRenderer* nick = gtk_cell_renderer_text_new();
  gtk_tree_view_column_pack_start(column, nick, TRUE);
  gtk_tree_view_column_add_attribute(column, nick, "text", 1);
  gtk_tree_view_append_column(view, column);
  gtk_widget_show_all(GTK_WIDGET(view));
}

void GtkSurface::show_warning(const std::string& primary, const std::string& secondary) {
  GtkWidget* dialog = gtk_message_dialog_new(
      widgets_.window1, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
      GTK_MESSAGE_WARNING, GTK_BUTTONS_OK, "%s", valid_utf8(primary).c_str());
  gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                           valid_utf8(secondary).c_str());
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
}

}  // namespace velmora
