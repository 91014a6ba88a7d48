#pragma once
// The publisher's home page, opened in the user's browser.

#include <gtk/gtk.h>

namespace velmora {

inline constexpr const char* kHomePage = "https://velmora.example/";

// Asks the desktop to open the home page; returns at once (the browser runs on its own).
// False when no opener could be started.
bool open_home_page();

// The about box's link hook: whatever link was clicked, the home page opens.
void open_home_page_hook(GtkAboutDialog* about, const gchar* link, gpointer data);

}  // namespace velmora
