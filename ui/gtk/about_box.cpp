#include "ui/gtk/about_box.h"

#include <fstream>
#include <iterator>

#include "ui/gtk/gtk_surface.h"
#include "ui/gtk/home_page.h"

namespace velmora {

std::string read_text_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return in.bad() ? std::string() : content;
}

GtkWidget* build_about_box(const std::string& folder) {
  GdkPixbuf* logo = gdk_pixbuf_new_from_file((folder + "/icon.png").c_str(), nullptr);
  const std::string licence = valid_utf8(read_text_file(folder + "/license.txt"));

  // The hook is process-wide in GTK+ 2; setting it again is harmless.
  gtk_about_dialog_set_url_hook(open_home_page_hook, nullptr, nullptr);
  GtkWidget* box = gtk_about_dialog_new();
  GtkAboutDialog* about = GTK_ABOUT_DIALOG(box);
  gtk_about_dialog_set_program_name(about, "Velmora");
  gtk_about_dialog_set_version(about, "1.0");
  gtk_about_dialog_set_copyright(about, kCopyright);
  gtk_about_dialog_set_comments(about, kAboutComments);
  gtk_about_dialog_set_license(about, licence.c_str());
  gtk_about_dialog_set_website(about, kHomePage);
  if (logo) {
    gtk_about_dialog_set_logo(about, logo);
    g_object_unref(logo);
  }
  return box;
}

void show_about_box(GtkWindow* parent, const std::string& folder) {
  GtkWidget* box = build_about_box(folder);
  gtk_window_set_transient_for(GTK_WINDOW(box), parent);
  gtk_widget_show_all(box);
  gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_hide(box);
  // Built afresh each time, so the old one goes.
  gtk_widget_destroy(box);
}

}  // namespace velmora
