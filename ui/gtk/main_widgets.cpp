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

}  // namespace

LayoutResult load_main_widgets(const std::string& path) {
  LayoutResult result;
  // libglade prints its own parse warnings; a file it cannot open gives no widgets.
  if (access(path.c_str(), R_OK) != 0) {
    result.error = path + ": cannot read the window layout";
    return result;
  }
  GladeXML* glade = glade_xml_new(path.c_str(), nullptr, nullptr);
  if (!glade) {
    result.error = path + ": the window layout cannot be loaded";
    return result;
  }
  MainWidgets& widgets = result.widgets;
  widgets.glade = glade;
  int index = 0;
  for (const char* name : kMainWidgetNames) {
    GtkWidget* widget = glade_xml_get_widget(glade, name);
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
  return widgets.glade ? glade_xml_get_widget(widgets.glade, name) : nullptr;
}

}  // namespace velmora
