// velmora [settings-file]: the GTK+ 2 chat window. velmora --help tells more.
#include <gtk/gtk.h>

#include <cstdio>

#include "app/app_state.h"
#include "app/command_line.h"
#include "app/program_paths.h"
#include "ui/app_session.h"
#include "ui/gtk/gtk_face.h"
#include "ui/gtk/main_widgets.h"

int main(int argc, char** argv) {
  using namespace velmora;
  const CommandLine command_line = parse_command_line(argc, argv);
  const ProgramName name{"velmora", "Velmora: a private channel on IRC, in a GTK+ 2 window."};
  if (auto status = answer_command_line(command_line, name, stdout, stderr)) return *status;
  const ProgramFiles files = program_files(command_line.settings_argument);

  // The toolkit sees none of the arguments: the command line is the settings path.
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fprintf(stderr, "velmora: cannot open the display (is DISPLAY set?); "
                         "velmora-term runs in a terminal\n");
    return 1;
  }
  LayoutResult layout = load_main_widgets(files.data_folder + "/gui.glade");
  if (!layout.ok()) {
    std::fprintf(stderr, "velmora: %s\n", layout.error.c_str());
    return 1;
  }

  AppState app(files);
  AppSession session(app);
  GtkFace face(session,
               {[&app] { return app.settings(); },
                [&app](const Settings& s) { app.set_settings(s); }},
               layout.widgets, files.data_folder);
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
