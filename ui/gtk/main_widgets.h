#pragma once
// The layout file and the fourteen widgets the program keeps from it.

#include <gtk/gtk.h>

#include <string>

namespace velmora {

struct MainWidgets {
  GtkBuilder* glade = nullptr;  // the loaded layout
  GtkWidget* window1 = nullptr;
  GtkWidget* window2 = nullptr;
  GtkWidget* dialog1 = nullptr;
  GtkWidget* entry1 = nullptr;
  GtkWidget* textview1 = nullptr;
  GtkWidget* textview2 = nullptr;
  GtkWidget* treeview1 = nullptr;
  GtkWidget* menu4 = nullptr;
  GtkWidget* aboutdialog1 = nullptr;
  GtkWidget* statusbar1 = nullptr;
  GtkWidget* toolbutton1 = nullptr;
  GtkWidget* toolbutton2 = nullptr;
  GtkWidget* imagemenuitem1 = nullptr;
  GtkWidget* imagemenuitem2 = nullptr;
};

// The fourteen names, in lookup order.
inline constexpr const char* kMainWidgetNames[] = {
    "window1", "window2", "dialog1", "entry1", "textview1", "textview2", "treeview1",
    "menu4", "aboutdialog1", "statusbar1", "toolbutton1", "toolbutton2",
    "imagemenuitem1", "imagemenuitem2"};

struct LayoutResult {
  MainWidgets widgets;
  std::string error;  // empty on success: names the file and what is wrong with it
  bool ok() const { return error.empty(); }
};

// Loads `path` with GtkBuilder (every object, no translation domain) and looks the
// fourteen widgets up in order. On failure nothing is kept and `error` says why.
LayoutResult load_main_widgets(const std::string& path);

// Releases the layout object (the widgets live on with their windows).
void release_layout(MainWidgets& widgets);

// A widget of the layout that the program does not keep, such as a dialog entry.
GtkWidget* layout_widget(const MainWidgets& widgets, const char* name);

}  // namespace velmora
