#pragma once
// Where the program's files are, decided once at start-up for both faces.
//
// From a build folder everything lies beside the program, as it always has. Installed
// (bin/velmora with its data in ../share/velmora), the settings and the log move to the
// user's XDG folders, since the program's own folder is shared and not the user's.

#include <string>

namespace velmora {

// The folder that holds the running program (the folder of /proc/self/exe), without a
// trailing "/". Falls back to "." when it cannot be found.
std::string program_folder();

// What the paths depend on besides the program's folder; tests make their own.
struct PathEnvironment {
  std::string home;             // $HOME, else the user's home from the password file
  std::string xdg_config_home;  // $XDG_CONFIG_HOME; ignored unless absolute
  std::string xdg_state_home;   // $XDG_STATE_HOME; ignored unless absolute
  static PathEnvironment from_process();
};

struct ProgramFiles {
  std::string data_folder;    // gui.glade, smilies/, icon.png, license.txt
  std::string settings_file;  // read at start; the one DESTROYAFTER deletes
  std::string log_folder;     // holds log.txt
};

// The data: beside the program when gui.glade is there (a build folder), else in
// ../share/velmora when gui.glade is there (installed), else beside the program.
std::string data_folder_for(const std::string& program_folder);

// $XDG_CONFIG_HOME/velmora, else ~/.config/velmora; $XDG_STATE_HOME/velmora, else
// ~/.local/state/velmora.
std::string config_folder(const PathEnvironment& env);
std::string state_folder(const PathEnvironment& env);

// The files for a program in `program_folder`. Settings: `settings_argument` when it is
// non-empty (as it stands), else setup.ini beside the program when it exists, else
// setup.ini in config_folder(). log.txt: beside the program when the program runs with
// its data beside it and may write there, else in state_folder(). An installed program
// never writes beside itself, even as root: /usr/bin is no place for a traffic log.
ProgramFiles find_program_files(const std::string& program_folder,
                                const std::string& settings_argument,
                                const PathEnvironment& env);

// Creates `folder` and any missing parents, readable by the user only (0700); folders
// that exist are left as they are. False when `folder` is not a folder afterwards.
bool make_private_folder(const std::string& folder);

// find_program_files() for this process, with the log folder made when it is missing
// (a warning on stderr when it cannot be), traced on standard output.
ProgramFiles program_files(const std::string& settings_argument);

}  // namespace velmora
