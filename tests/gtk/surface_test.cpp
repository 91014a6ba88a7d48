// The surface over real widgets: what each call leaves in the text buffer, the tree
// view, the status bar and the controls.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "tests/gtk/xvfb_display.h"
#include "ui/gtk/gtk_surface.h"
#include "ui/gtk/main_widgets.h"
#include "ui/gtk/privacy_icons.h"
#include "ui/gtk/text_tags.h"

namespace velmora {
namespace {

const std::string kData = VELMORA_DATA_DIR;

class SurfaceTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { test_support::ensure_gtk_display(); }

  void SetUp() override {
    LayoutResult layout = load_main_widgets(kData + "/gui.glade");
    ASSERT_TRUE(layout.ok()) << layout.error;
    w_ = layout.widgets;
    create_text_tags(GTK_TEXT_VIEW(w_.textview1));
    surface_ = std::make_unique<GtkSurface>(SurfaceWidgets{
        GTK_WINDOW(w_.window1), GTK_TEXT_VIEW(w_.textview1), GTK_TREE_VIEW(w_.treeview1),
        GTK_STATUSBAR(w_.statusbar1), w_.toolbutton1, w_.imagemenuitem1, w_.toolbutton2,
        w_.imagemenuitem2, w_.entry1});
  }
  void TearDown() override {
    surface_.reset();
    for (GtkWidget* top : {w_.window1, w_.window2, w_.dialog1, w_.aboutdialog1}) {
      if (top) gtk_widget_destroy(top);
    }
    release_layout(w_);
  }

  GtkTextBuffer* buffer() { return gtk_text_view_get_buffer(GTK_TEXT_VIEW(w_.textview1)); }
  std::string buffer_text() {
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer(), &start, &end);
    gchar* text = gtk_text_buffer_get_slice(buffer(), &start, &end, TRUE);
    std::string result = text;
    g_free(text);
    return result;
  }
  // Names of the tags at character `offset`, in priority order.
  std::vector<std::string> tags_at(int offset) {
    GtkTextIter at;
    gtk_text_buffer_get_iter_at_offset(buffer(), &at, offset);
    std::vector<std::string> names;
    GSList* tags = gtk_text_iter_get_tags(&at);
    for (GSList* t = tags; t; t = t->next) {
      gchar* name = nullptr;
      g_object_get(t->data, "name", &name, nullptr);
      names.push_back(name);
      g_free(name);
    }
    g_slist_free(tags);
    return names;
  }

  MainWidgets w_;
  std::unique_ptr<GtkSurface> surface_;
};

TEST_F(SurfaceTest, InsertsTextAtTheEndWithOnlyItsOwnTags) {
  surface_->insert_text("alice", {"bold", "big"});
  surface_->insert_text("  hi\r\n", {"space"});
  EXPECT_EQ(buffer_text(), "alice  hi\r\n");
  EXPECT_EQ(tags_at(0), (std::vector<std::string>{"big", "bold"}));
  EXPECT_EQ(tags_at(4), (std::vector<std::string>{"big", "bold"}));
  EXPECT_EQ(tags_at(5), (std::vector<std::string>{"space"}));
}

TEST_F(SurfaceTest, NeverHandsTheBufferInvalidUtf8) {
  surface_->insert_text("caf\xE9 \x93ok\x94", {});
  EXPECT_EQ(buffer_text(), "caf\u00e9 \u201cok\u201d");
  surface_->set_title("#caf\xE9, 127.0.0.1 - Velmora");
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(w_.window1)), "#caf\u00e9, 127.0.0.1 - Velmora");
}

TEST_F(SurfaceTest, EmoticonIsAFourteenPixelImageInTheText) {
  surface_->insert_text("hi ", {});
  surface_->insert_image(kData + "/smilies/face-smile.png", ":)");
  surface_->insert_text(" there", {});
  GtkTextIter at;
  gtk_text_buffer_get_iter_at_offset(buffer(), &at, 3);
  GdkPixbuf* image = gtk_text_iter_get_pixbuf(&at);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(image), kEmoticonSize);
  EXPECT_EQ(gdk_pixbuf_get_height(image), kEmoticonSize);
  EXPECT_EQ(gtk_text_buffer_get_char_count(buffer()), 10);
}

TEST_F(SurfaceTest, UndecodableOrMissingImageInsertsNothing) {
  const std::string broken = ::testing::TempDir() + "velmora_broken_smiley.png";
  std::ofstream(broken) << "not a png at all";
  surface_->insert_image(broken, ":)");
  surface_->insert_image("/nonexistent/face.png", ":)");
  EXPECT_EQ(gtk_text_buffer_get_char_count(buffer()), 0);
  std::remove(broken.c_str());
}

TEST_F(SurfaceTest, ClearAndScrollLeaveTheCursorAtTheEnd) {
  surface_->insert_text("one\r\ntwo\r\n", {});
  surface_->scroll_to_end();
  GtkTextIter cursor;
  gtk_text_buffer_get_iter_at_mark(buffer(), &cursor, gtk_text_buffer_get_insert(buffer()));
  EXPECT_TRUE(gtk_text_iter_is_end(&cursor));
  surface_->clear_view();
  EXPECT_EQ(buffer_text(), "");
}

// One row of the list as it shows: icon, nick, the nick's colour, the tooltip.
struct ShownRow {
  std::string icon, nick, colour, tooltip;
  bool operator==(const ShownRow&) const = default;
};

std::vector<ShownRow> model_rows(GtkTreeView* view) {
  std::vector<ShownRow> rows;
  GtkTreeModel* model = gtk_tree_view_get_model(view);
  GtkTreeIter iter;
  for (gboolean ok = gtk_tree_model_get_iter_first(model, &iter); ok;
       ok = gtk_tree_model_iter_next(model, &iter)) {
    gchar* cells[4] = {};
    gtk_tree_model_get(model, &iter, 0, &cells[0], 1, &cells[1], 2, &cells[2], 4, &cells[3], -1);
    ShownRow row;
    for (auto [cell, field] : {std::pair{0, &ShownRow::icon}, {1, &ShownRow::nick}, {2, &ShownRow::colour},
                               {3, &ShownRow::tooltip}}) {
      row.*field = cells[cell] ? cells[cell] : "";
      g_free(cells[cell]);
    }
    rows.push_back(row);
  }
  return rows;
}

// A member holding another key stands out in orange, with the reason as its tooltip
// (markup, so a nick's "<" is escaped).
TEST_F(SurfaceTest, UserListShowsWhatEachMemberHoldsInOneColumn) {
  GtkTreeView* view = GTK_TREE_VIEW(w_.treeview1);
  surface_->set_user_rows({});
  EXPECT_TRUE(model_rows(view).empty());
  surface_->set_user_rows({{MemberKey::Ours, "alice", "Holds your key"},
                           {MemberKey::Other, "bob", "Holds a different key: <why>"},
                           {MemberKey::Waiting, "cy", "No key yet"},
                           {MemberKey::Ordinary, "dee", "An ordinary IRC user"}});
  EXPECT_EQ(model_rows(view),
            (std::vector<ShownRow>{{"gtk-yes", "alice", "", "Holds your key"},
                                   {"gtk-dialog-warning", "bob", kOtherKeyColour, "Holds a different key: &lt;why&gt;"},
                                   {"gtk-refresh", "cy", "", "No key yet"},
                                   {"gtk-no", "dee", "", "An ordinary IRC user"}}));
  EXPECT_EQ(gtk_tree_view_get_tooltip_column(view), 4);

  GList* columns = gtk_tree_view_get_columns(view);
  ASSERT_EQ(g_list_length(columns), 1u);
  GList* cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(columns->data));
  ASSERT_EQ(g_list_length(cells), 2u);
  EXPECT_TRUE(GTK_IS_CELL_RENDERER_PIXBUF(cells->data));
  EXPECT_TRUE(GTK_IS_CELL_RENDERER_TEXT(cells->next->data));
  g_list_free(cells);
  g_list_free(columns);
}

// The four marks are drawings no text can make, each a different picture, tagged so
// that the pointer over one explains it.
TEST_F(SurfaceTest, MarksAreDistinctPicturesThatExplainThemselves) {
  const LinePrivacy marks[] = {LinePrivacy::Sealed, LinePrivacy::Plain, LinePrivacy::Direct,
                               LinePrivacy::OtherKey};
  std::vector<std::string> pictures;
  for (LinePrivacy mark : marks) {
    const int offset = gtk_text_buffer_get_char_count(buffer());
    surface_->insert_mark(mark);
    GtkTextIter at;
    gtk_text_buffer_get_iter_at_offset(buffer(), &at, offset);
    GdkPixbuf* picture = gtk_text_iter_get_pixbuf(&at);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(gdk_pixbuf_get_width(picture), kMarkSize);
    pictures.emplace_back(reinterpret_cast<const char*>(gdk_pixbuf_get_pixels(picture)),
                          gdk_pixbuf_get_rowstride(picture) * kMarkSize);
    EXPECT_EQ(tags_at(offset), std::vector<std::string>{mark_tag_name(mark)});
    GtkTextTag* tag = gtk_text_tag_table_lookup(gtk_text_buffer_get_tag_table(buffer()),
                                                mark_tag_name(mark).c_str());
    EXPECT_EQ(mark_of_tag(tag), mark);
  }
  EXPECT_EQ(std::set<std::string>(pictures.begin(), pictures.end()).size(), 4u);
  EXPECT_EQ(mark_of_tag(gtk_text_tag_table_lookup(gtk_text_buffer_get_tag_table(buffer()), "bold")),
            LinePrivacy::None);
}

TEST_F(SurfaceTest, StateLineBesideTheStatusText) {
  surface_->set_state_line({"2 members hold another key", StateLine::Tone::Warning, "TLS, certificate verified"});
  EXPECT_STREQ(gtk_label_get_text(surface_->privacy_label()), "2 members hold another key");
  EXPECT_STREQ(gtk_label_get_text(surface_->link_label()), "TLS, certificate verified");
  const auto markup = [this] { return std::string(gtk_label_get_label(surface_->privacy_label())); };
  EXPECT_NE(markup().find(kOtherKeyColour), std::string::npos);  // orange: look here
  surface_->set_state_line({"Private: <you> alone", StateLine::Tone::Good, ""});
  EXPECT_NE(markup().find(kPrivateColour), std::string::npos);
  EXPECT_STREQ(gtk_label_get_text(surface_->privacy_label()), "Private: <you> alone");
  surface_->set_state_line({"Waiting for the key", StateLine::Tone::Neutral, ""});
  EXPECT_EQ(markup(), "Waiting for the key");
}

TEST_F(SurfaceTest, ControlsMoveWithTheirMenuTwins) {
  struct Case {
    Control control;
    bool sensitive;
    std::vector<GtkWidget*> widgets;
  };
  const Case cases[] = {
      {Control::ConnectButton, false, {w_.toolbutton1, w_.imagemenuitem1}},
      {Control::ConnectButton, true, {w_.toolbutton1, w_.imagemenuitem1}},
      {Control::DisconnectButton, false, {w_.toolbutton2, w_.imagemenuitem2}},
      {Control::DisconnectButton, true, {w_.toolbutton2, w_.imagemenuitem2}},
      {Control::InputLine, false, {w_.entry1}},
      {Control::InputLine, true, {w_.entry1}},
  };
  for (const Case& c : cases) {
    surface_->set_sensitive(c.control, c.sensitive);
    for (GtkWidget* widget : c.widgets) {
      EXPECT_EQ(bool(gtk_widget_get_sensitive(widget)), c.sensitive) << gtk_widget_get_name(widget);
    }
  }
}

void count_push(GtkStatusbar*, guint, gchar*, gpointer data) { ++*static_cast<int*>(data); }

std::string status_shown(GtkStatusbar* bar) {
  GtkWidget* label = gtk_statusbar_get_message_area(bar);
  GList* children = gtk_container_get_children(GTK_CONTAINER(label));
  std::string text = gtk_label_get_text(GTK_LABEL(children->data));
  g_list_free(children);
  return text;
}

TEST_F(SurfaceTest, StatusBarIsRewrittenOnlyWhenItsTextChanges) {
  GtkStatusbar* bar = GTK_STATUSBAR(w_.statusbar1);
  int pushes = 0;
  g_signal_connect(bar, "text-pushed", G_CALLBACK(count_push), &pushes);
  for (int tick = 0; tick < 50; ++tick) surface_->set_status_bar(" Joining channel...");
  EXPECT_EQ(pushes, 1);
  EXPECT_EQ(status_shown(bar), " Joining channel...");
  surface_->set_status_bar(" ");
  EXPECT_EQ(pushes, 2);
  EXPECT_EQ(status_shown(bar), " ");
}

struct SeenWarning {
  std::string primary, secondary;
  GtkMessageType type = GTK_MESSAGE_INFO;
  GtkWindow* parent = nullptr;
  bool modal = false;
};

// Answers the first message dialog it finds, noting what it showed.
gboolean answer_warning(gpointer data) {
  auto* seen = static_cast<SeenWarning*>(data);
  GList* tops = gtk_window_list_toplevels();
  for (GList* t = tops; t; t = t->next) {
    if (!GTK_IS_MESSAGE_DIALOG(t->data) || !GTK_WIDGET_VISIBLE(t->data)) continue;
    gchar* primary = nullptr;
    gchar* secondary = nullptr;
    g_object_get(t->data, "text", &primary, "secondary-text", &secondary, "message-type",
                 &seen->type, nullptr);
    seen->primary = primary;
    seen->secondary = secondary;
    g_free(primary);
    g_free(secondary);
    seen->parent = gtk_window_get_transient_for(GTK_WINDOW(t->data));
    seen->modal = gtk_window_get_modal(GTK_WINDOW(t->data));
    gtk_dialog_response(GTK_DIALOG(t->data), GTK_RESPONSE_OK);
    g_list_free(tops);
    return FALSE;
  }
  g_list_free(tops);
  return TRUE;
}

TEST_F(SurfaceTest, WarningIsAModalDialogOverTheChatWindow) {
  SeenWarning seen;
  g_timeout_add(20, answer_warning, &seen);
  surface_->show_warning("Command not supported",
                         "The command 'join' is not supported by Velmora.");
  EXPECT_EQ(seen.primary, "Command not supported");
  EXPECT_EQ(seen.secondary, "The command 'join' is not supported by Velmora.");
  EXPECT_EQ(seen.type, GTK_MESSAGE_WARNING);
  EXPECT_EQ(seen.parent, GTK_WINDOW(w_.window1));
  EXPECT_TRUE(seen.modal);
}

}  // namespace
}  // namespace velmora
