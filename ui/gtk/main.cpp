// velmora [settings-file]: the GTK+ 2 chat window.
#include <gtk/gtk.h>

#include <cstdio>

#include "app/app_state.h"
#include "app/program_paths.h"
#include "ui/app_session.h"
#include "ui/gtk/gtk_face.h"
#include "ui/gtk/main_widgets.h"

int main(int argc, char** argv) {
  using namespace velmora;
  const std::string folder = program_folder();
  const std::string settings_file = settings_path(argc, argv, folder);

  // The toolkit sees none of the arguments: the command line is the settings path.
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fprintf(stderr, "velmora: cannot open the display (is DISPLAY set?); "
                         "velmora-term runs in a terminal\n");
    return 1;
  }
  LayoutResult layout = load_main_widgets(folder + "/gui.glade");
  if (!layout.ok()) {
    std::fprintf(stderr, "velmora: %s\n", layout.error.c_str());
    return 1;
  }

  AppState app(folder, settings_file);
  AppSession session(app);
  GtkFace face(session,
               {[&app] { return app.settings(); },
                [&app](const Settings& s) { app.set_settings(s); }},
               layout.widgets, folder);
  set_active_face(&face);

  face.connect_show_signals();
  face.create_tags();
  face.show_first_window();
  connect_layout_handlers(layout.widgets);
  gtk_main();

  set_active_face(nullptr);
  release_layout(layout.widgets);
  return 0;
}
