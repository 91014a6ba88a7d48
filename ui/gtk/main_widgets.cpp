#include "ui/gtk/main_widgets.h"

#include <unistd.h>

namespace velmora {

namespace {

GtkWidget** field_for(MainWidgets& w, int index) {
  GtkWidget** fields[] = {&w.window1, &w.window2, &w.dialog1, &w.entry1, &w.textview1,
                          &w.textview2, &w.treeview1, &w.menu4, &w.aboutdialog1,
                          &w.statusbar1, &w.toolbutton1, &w.toolbutton2,
                          &w.imagemenuitem1, &w.imagemenuitem2};
  return fields[index];
}

// GtkBuilder reports a missing file and a malformed one alike; the first gets the
// plainer message.
std::string load_error(const std::string& path, GError* error) {
  if (access(path.c_str(), R_OK) != 0) return path + ": cannot read the window layout";
  std::string text = path + ": the window layout cannot be loaded";
  if (error && error->message) text += std::string(": ") + error->message;
  return text;
}

}  // namespace

LayoutResult load_main_widgets(const std::string& path) {
  LayoutResult result;
  GtkBuilder* builder = gtk_builder_new();
  GError* error = nullptr;
  if (gtk_builder_add_from_file(builder, path.c_str(), &error) == 0) {
    result.error = load_error(path, error);
    if (error) g_error_free(error);
    g_object_unref(builder);
    return result;
  }
  MainWidgets& widgets = result.widgets;
  widgets.glade = builder;
  int index = 0;
  for (const char* name : kMainWidgetNames) {
    GtkWidget* widget = layout_widget(widgets, name);
    if (!widget) {
      result.error = path + ": the window layout has no widget \"" + name + "\"";
      release_layout(widgets);
      result.widgets = MainWidgets{};
      return result;
    }
    *field_for(widgets, index++) = widget;
  }
  return result;
}

void release_layout(MainWidgets& widgets) {
  if (widgets.glade) g_object_unref(widgets.glade);
  widgets.glade = nullptr;
}

GtkWidget* layout_widget(const MainWidgets& widgets, const char* name) {
  if (!widgets.glade) return nullptr;
  GObject* object = gtk_builder_get_object(widgets.glade, name);
  return object && GTK_IS_WIDGET(object) ? GTK_WIDGET(object) : nullptr;
}

}  // namespace velmora
