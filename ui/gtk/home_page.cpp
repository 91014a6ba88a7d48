#include "ui/gtk/home_page.h"

namespace velmora {

bool open_home_page() {
  // xdg-open hands the address to the user's browser; spawned async so a slow browser
  // start never blocks the window.
  gchar* argv[] = {const_cast<gchar*>("xdg-open"), const_cast<gchar*>(kHomePage), nullptr};
  GError* error = nullptr;
  const gboolean started =
      g_spawn_async(nullptr, argv, nullptr,
                    GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL |
                                G_SPAWN_STDERR_TO_DEV_NULL),
                    nullptr, nullptr, nullptr, &error);
  if (error) g_error_free(error);
  return started;
}

void open_home_page_hook(GtkAboutDialog*, const gchar*, gpointer) { open_home_page(); }

}  // namespace velmora
