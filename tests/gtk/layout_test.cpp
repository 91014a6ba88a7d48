// The layout file, the widgets kept from it and the chat view's text tags, on a real
// display.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>

#include "tests/gtk/xvfb_display.h"
#include "ui/gtk/gtk_face.h"
#include "ui/gtk/main_widgets.h"
#include "ui/gtk/text_tags.h"

namespace velmora {
namespace {

const std::string kLayout = std::string(VELMORA_DATA_DIR) + "/gui.glade";

class LayoutTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { test_support::ensure_gtk_display(); }
};

TEST_F(LayoutTest, FindsTheFourteenWidgetsWithTheirKinds) {
  LayoutResult layout = load_main_widgets(kLayout);
  ASSERT_TRUE(layout.ok()) << layout.error;
  const MainWidgets& w = layout.widgets;
  EXPECT_TRUE(GTK_IS_WINDOW(w.window1));
  EXPECT_TRUE(GTK_IS_WINDOW(w.window2));
  EXPECT_TRUE(GTK_IS_DIALOG(w.dialog1));
  EXPECT_TRUE(GTK_IS_ENTRY(w.entry1));
  EXPECT_TRUE(GTK_IS_TEXT_VIEW(w.textview1));
  EXPECT_TRUE(GTK_IS_TEXT_VIEW(w.textview2));
  EXPECT_TRUE(GTK_IS_TREE_VIEW(w.treeview1));
  EXPECT_TRUE(GTK_IS_MENU(w.menu4));
  EXPECT_TRUE(GTK_IS_ABOUT_DIALOG(w.aboutdialog1));
  EXPECT_TRUE(GTK_IS_STATUSBAR(w.statusbar1));
  EXPECT_TRUE(GTK_IS_TOOL_BUTTON(w.toolbutton1));
  EXPECT_TRUE(GTK_IS_TOOL_BUTTON(w.toolbutton2));
  EXPECT_TRUE(GTK_IS_IMAGE_MENU_ITEM(w.imagemenuitem1));
  EXPECT_TRUE(GTK_IS_IMAGE_MENU_ITEM(w.imagemenuitem2));
  EXPECT_TRUE(GTK_IS_TOGGLE_TOOL_BUTTON(layout_widget(w, "toolbutton6")));
  for (const char* name : {"entry2", "entry3", "entry5", "entry6", "entry7"}) {
    EXPECT_TRUE(GTK_IS_ENTRY(layout_widget(w, name))) << name;
  }
  EXPECT_FALSE(gtk_entry_get_visibility(GTK_ENTRY(layout_widget(w, "entry7"))));
  // The menus hang from their menu bar items, not inside them.
  EXPECT_EQ(gtk_menu_item_get_submenu(GTK_MENU_ITEM(layout_widget(w, "menuitem4"))), w.menu4);
  EXPECT_TRUE(GTK_IS_MENU(gtk_menu_item_get_submenu(GTK_MENU_ITEM(layout_widget(w, "menuitem1")))));
  EXPECT_EQ(gtk_menu_get_attach_widget(GTK_MENU(w.menu4)), layout_widget(w, "menuitem4"));
  // Windows stay hidden until the program chooses which one to show.
  EXPECT_FALSE(GTK_WIDGET_VISIBLE(w.window1));
  EXPECT_FALSE(GTK_WIDGET_VISIBLE(w.window2));
  release_layout(layout.widgets);
}

void collect_handler(GtkBuilder*, GObject*, const gchar* signal, const gchar* handler,
                     GObject*, GConnectFlags, gpointer data) {
  static_cast<std::set<std::string>*>(data)->insert(std::string(handler) + "/" + signal);
}

TEST_F(LayoutTest, NamesEveryHandlerTheProgramExports) {
  LayoutResult layout = load_main_widgets(kLayout);
  ASSERT_TRUE(layout.ok()) << layout.error;
  std::set<std::string> handlers;
  gtk_builder_connect_signals_full(layout.widgets.glade, collect_handler, &handlers);
  const std::set<std::string> expected = {
      "on_button1_clicked/clicked",          "on_entry1_key_press_event/key_press_event",
      "on_toolbutton1_clicked/clicked",      "on_toolbutton1_clicked/activate",
      "on_toolbutton2_clicked/clicked",      "on_toolbutton2_clicked/activate",
      "on_toolbutton4_clicked/clicked",      "on_toolbutton4_clicked/activate",
      "on_toolbutton6_toggled/toggled",      "on_window1_delete_event/delete_event",
      "on_window2_delete_event/delete_event", "on_imagemenuitem10_activate/activate",
      "on_menuitem2_activate/activate",       "on_checkbutton1_toggled/toggled",
      "on_menuitem5_activate/activate"};
  EXPECT_EQ(handlers, expected);
  // Each one is in the table the program connects them from.
  for (const std::string& entry : handlers) {
    const std::string name = entry.substr(0, entry.find('/'));
    EXPECT_NE(layout_handler(name.c_str()), nullptr) << name;
  }
  release_layout(layout.widgets);
}

TEST_F(LayoutTest, DialogConnectButtonIsTheDefault) {
  LayoutResult layout = load_main_widgets(kLayout);
  ASSERT_TRUE(layout.ok()) << layout.error;
  GtkWidget* button = layout_widget(layout.widgets, "button1");
  ASSERT_TRUE(GTK_IS_BUTTON(button));
  EXPECT_TRUE(GTK_WIDGET_HAS_DEFAULT(button));
  release_layout(layout.widgets);
}

// A copy of the layout with one widget renamed, so it is missing.
std::string layout_without(const std::string& name, const std::string& path) {
  std::ifstream in(kLayout);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string id = "id=\"" + name + "\"";
  text.replace(text.find(id), id.size(), "id=\"renamed_" + name + "\"");
  std::ofstream(path) << text;
  return path;
}

TEST_F(LayoutTest, MissingWidgetOrFileIsNamedInTheError) {
  const std::string path = ::testing::TempDir() + "velmora_layout_without_menu4.glade";
  LayoutResult missing_widget = load_main_widgets(layout_without("menu4", path));
  EXPECT_FALSE(missing_widget.ok());
  EXPECT_NE(missing_widget.error.find(path), std::string::npos) << missing_widget.error;
  EXPECT_NE(missing_widget.error.find("\"menu4\""), std::string::npos) << missing_widget.error;
  EXPECT_EQ(missing_widget.widgets.glade, nullptr);
  std::remove(path.c_str());

  LayoutResult missing_file = load_main_widgets("/nonexistent/gui.glade");
  EXPECT_FALSE(missing_file.ok());
  EXPECT_NE(missing_file.error.find("/nonexistent/gui.glade"), std::string::npos);
}

TEST(BigTagSize, IsFiveQuartersOfTheBaseRoundedDown) {
  EXPECT_EQ(big_tag_size(10240), 12800);
  EXPECT_EQ(big_tag_size(9216), 11520);
  EXPECT_EQ(big_tag_size(9), 11);
}

int int_property(GtkTextTag* tag, const char* name) {
  int value = 0;
  g_object_get(tag, name, &value, nullptr);
  return value;
}

std::string colour_text(const GdkColor& colour) {
  char text[16];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", colour.red >> 8, colour.green >> 8,
                colour.blue >> 8);
  return text;
}

std::string colour_property(GtkTextTag* tag, const char* name) {
  GdkColor* colour = nullptr;
  g_object_get(tag, name, &colour, nullptr);
  const std::string text = colour_text(*colour);
  gdk_color_free(colour);
  return text;
}

std::string parsed_colour(const char* name) {
  GdkColor colour;
  gdk_color_parse(name, &colour);
  return colour_text(colour);
}

TEST_F(LayoutTest, TwentyOneTagsInOrderWithTheirProperties) {
  // The chat view inside its window, with a 9 pt font chosen for it.
  LayoutResult layout = load_main_widgets(kLayout);
  ASSERT_TRUE(layout.ok()) << layout.error;
  GtkWidget* view = layout.widgets.textview1;
  PangoFontDescription* font = pango_font_description_from_string("Sans 9");
  gtk_widget_modify_font(view, font);
  pango_font_description_free(font);
  create_text_tags(GTK_TEXT_VIEW(view));
  GtkTextTagTable* table = gtk_text_buffer_get_tag_table(gtk_text_view_get_buffer(GTK_TEXT_VIEW(view)));
  ASSERT_EQ(gtk_text_tag_table_get_size(table), 21);

  struct Expected {
    const char* tag;
    const char* property;
    int value;
  };
  const Expected ints[] = {
      {"big", "size", 11520},          {"gap", "pixels-above-lines", 10},
      {"space", "pixels-above-lines", 5}, {"space", "pixels-below-lines", 5},
      {"paragraph", "indent", 50},     {"wide_margins", "left-margin", 50},
      {"lmarg", "left-margin", 20},    {"indent", "left-margin", 40},
      {"indentx", "indent", 100},      {"exdent", "indent", -100},
      {"indentplus", "left-margin", 80}, {"italic", "style", PANGO_STYLE_ITALIC},
      {"bold", "weight", 700},         {"centre", "justification", GTK_JUSTIFY_CENTER},
      {"underline", "underline", PANGO_UNDERLINE_SINGLE},
  };
  for (const Expected& e : ints) {
    GtkTextTag* tag = gtk_text_tag_table_lookup(table, e.tag);
    ASSERT_NE(tag, nullptr) << e.tag;
    EXPECT_EQ(int_property(tag, e.property), e.value) << e.tag << " " << e.property;
  }
  // Colours by name, as the toolkit resolves them.
  const std::pair<const char*, const char*> colours[] = {
      {"blue_fg", "blue"}, {"green_fg", "green"}, {"red_fg", "red"},
      {"gray_fg", "gray"}, {"dark_fg", "#7B7B7B"}};
  for (const auto& [name, colour] : colours) {
    EXPECT_EQ(colour_property(gtk_text_tag_table_lookup(table, name), "foreground-gdk"),
              parsed_colour(colour)) << name;
  }
  EXPECT_EQ(colour_property(gtk_text_tag_table_lookup(table, "gray_bg"), "background-gdk"),
            parsed_colour("gray"));
  EXPECT_EQ(parsed_colour("#7B7B7B"), "#7B7B7B");
  gchar* family = nullptr;
  g_object_get(gtk_text_tag_table_lookup(table, "monospace"), "family", &family, nullptr);
  EXPECT_STREQ(family, "monospace");
  g_free(family);

  // Creation order is priority order.
  const char* order[] = {"big", "gap", "space", "paragraph", "wide_margins", "lmarg", "indent",
                         "indentx", "exdent", "indentplus", "blue_fg", "green_fg", "red_fg",
                         "gray_bg", "gray_fg", "dark_fg", "italic", "bold", "centre",
                         "monospace", "underline"};
  for (int i = 0; i < 21; ++i) {
    EXPECT_EQ(gtk_text_tag_get_priority(gtk_text_tag_table_lookup(table, order[i])), i) << order[i];
  }
  // Only the listed properties are set: "big" leaves the colour alone.
  gboolean foreground_set = TRUE;
  g_object_get(gtk_text_tag_table_lookup(table, "big"), "foreground-set", &foreground_set, nullptr);
  EXPECT_FALSE(foreground_set);
  gtk_widget_destroy(layout.widgets.window1);
  release_layout(layout.widgets);
}

}  // namespace
}  // namespace velmora
