#include "ui/gtk/gtk_surface.h"

#include "ui/display_text.h"
#include "ui/gtk/privacy_icons.h"
#include "ui/privacy_words.h"

namespace velmora {

namespace {

constexpr LinePrivacy kMarks[] = {LinePrivacy::Sealed, LinePrivacy::Plain, LinePrivacy::Direct,
                                  LinePrivacy::OtherKey};

// The mark under the pointer says what it means.
gboolean on_view_query_tooltip(GtkWidget* widget, gint x, gint y, gboolean keyboard, GtkTooltip* tooltip,
                               gpointer) {
  if (keyboard) return FALSE;
  GtkTextView* view = GTK_TEXT_VIEW(widget);
  gint bx = 0;
  gint by = 0;
  gtk_text_view_window_to_buffer_coords(view, GTK_TEXT_WINDOW_WIDGET, x, y, &bx, &by);
  GtkTextIter at;
  gtk_text_view_get_iter_at_location(view, &at, bx, by);
  GSList* tags = gtk_text_iter_get_tags(&at);
  LinePrivacy mark = LinePrivacy::None;
  for (GSList* t = tags; t && mark == LinePrivacy::None; t = t->next) mark = mark_of_tag(GTK_TEXT_TAG(t->data));
  g_slist_free(tags);
  if (mark == LinePrivacy::None) return FALSE;
  gtk_tooltip_set_text(tooltip, std::string(mark_explanation(mark)).c_str());
  return TRUE;
}

GtkLabel* state_label(GtkStatusbar* bar) {
  GtkWidget* label = gtk_label_new("");
  gtk_box_pack_end(GTK_BOX(bar), label, FALSE, FALSE, 6);
  gtk_widget_show(label);
  return GTK_LABEL(label);
}

}  // namespace

std::string valid_utf8(const std::string& text) {
  return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)
             ? text
             : display_text(text);
}

std::string mark_tag_name(LinePrivacy privacy) {
  return "mark_" + std::to_string(static_cast<int>(privacy));
}

LinePrivacy mark_of_tag(GtkTextTag* tag) {
  gchar* name = nullptr;
  g_object_get(tag, "name", &name, nullptr);
  LinePrivacy found = LinePrivacy::None;
  for (LinePrivacy mark : kMarks) {
    if (name && mark_tag_name(mark) == name) found = mark;
  }
  g_free(name);
  return found;
}

const char* member_icon(MemberKey key) {
  switch (key) {
    case MemberKey::Ours: return GTK_STOCK_YES;
    case MemberKey::Other: return GTK_STOCK_DIALOG_WARNING;
    case MemberKey::Unchecked: return GTK_STOCK_DIALOG_QUESTION;
    case MemberKey::Waiting: return GTK_STOCK_REFRESH;
    case MemberKey::Ordinary: break;
  }
  return GTK_STOCK_NO;
}

GtkSurface::GtkSurface(SurfaceWidgets widgets) : widgets_(widgets) {
  if (widgets_.chat_view) {
    gtk_widget_set_has_tooltip(GTK_WIDGET(widgets_.chat_view), TRUE);
    g_signal_connect(widgets_.chat_view, "query-tooltip", G_CALLBACK(on_view_query_tooltip), nullptr);
  }
  if (widgets_.status_bar) {
    link_label_ = state_label(widgets_.status_bar);
    privacy_label_ = state_label(widgets_.status_bar);
  }
}

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

void GtkSurface::insert_mark(LinePrivacy privacy) {
  GdkPixbuf* mark = draw_privacy_mark(privacy);
  if (!mark) return;
  GtkTextBuffer* buf = buffer();
  const std::string tag = mark_tag_name(privacy);
  GtkTextTagTable* table = gtk_text_buffer_get_tag_table(buf);
  if (!gtk_text_tag_table_lookup(table, tag.c_str())) gtk_text_buffer_create_tag(buf, tag.c_str(), nullptr);
  GtkTextIter end;
  gtk_text_buffer_get_end_iter(buf, &end);
  const int offset = gtk_text_iter_get_offset(&end);
  gtk_text_buffer_insert_pixbuf(buf, &end, mark);
  g_object_unref(mark);
  GtkTextIter start;
  gtk_text_buffer_get_iter_at_offset(buf, &start, offset);
  gtk_text_buffer_get_end_iter(buf, &end);
  gtk_text_buffer_apply_tag_by_name(buf, tag.c_str(), &start, &end);
  insert_text(" ", {"space", "lmarg", "big"});
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
  // Icon, nick, the nick's colour (none: the theme's), its weight, the tooltip.
  GtkListStore* store = gtk_list_store_new(5, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_INT,
                                           G_TYPE_STRING);
  for (const UserRow& row : rows) {
    GtkTreeIter iter;
    gtk_list_store_append(store, &iter);
    const bool other = row.key == MemberKey::Other;  // a split shows at a glance
    gchar* tooltip = g_markup_escape_text(valid_utf8(row.note).c_str(), -1);
    gtk_list_store_set(store, &iter, 0, member_icon(row.key), 1, valid_utf8(row.nick).c_str(), 2,
                       other ? kOtherKeyColour : nullptr, 3,
                       other ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL, 4, tooltip, -1);
    g_free(tooltip);
  }
  gtk_tree_view_set_model(view, GTK_TREE_MODEL(store));
  g_object_unref(store);
  gtk_tree_view_set_tooltip_column(view, 4);

  GtkTreeViewColumn* column = gtk_tree_view_column_new();
  GtkCellRenderer* icon = gtk_cell_renderer_pixbuf_new();
  gtk_tree_view_column_pack_start(column, icon, FALSE);
  gtk_tree_view_column_add_attribute(column, icon, "stock-id", 0);
  GtkCellRenderer* nick = gtk_cell_renderer_text_new();
  gtk_tree_view_column_pack_start(column, nick, TRUE);
  gtk_tree_view_column_add_attribute(column, nick, "text", 1);
  gtk_tree_view_column_add_attribute(column, nick, "foreground", 2);
  gtk_tree_view_column_add_attribute(column, nick, "weight", 3);
  gtk_tree_view_append_column(view, column);
  gtk_widget_show_all(GTK_WIDGET(view));
}

void GtkSurface::set_state_line(const StateLine& state) {
  if (!privacy_label_) return;
  const char* colour = state.tone == StateLine::Tone::Good      ? kPrivateColour
                       : state.tone == StateLine::Tone::Warning ? kOtherKeyColour
                                                                : nullptr;
  gchar* privacy = g_markup_escape_text(valid_utf8(state.privacy).c_str(), -1);
  const std::string markup = colour ? std::string("<span foreground=\"") + colour +
                                          "\" weight=\"bold\">" + privacy + "</span>"
                                    : std::string(privacy);
  g_free(privacy);
  gtk_label_set_markup(privacy_label_, markup.c_str());
  gtk_label_set_text(link_label_, valid_utf8(state.link).c_str());
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
