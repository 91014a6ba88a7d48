#include "app/program_paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "trace/trace.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

std::string environment_value(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool is_absolute(const std::string& path) { return !path.empty() && path.front() == '/'; }

bool exists(const std::string& path) {
  std::error_code error;
  return fs::exists(path, error);
}

// $XDG_..._HOME when it is absolute (the XDG rule), else the fallback under the home.
std::string xdg_folder(const std::string& xdg_home, const PathEnvironment& env,
                       const char* fallback) {
  const std::string base = is_absolute(xdg_home) ? xdg_home : env.home + "/" + fallback;
  return base + "/velmora";
}

}  // namespace

std::string program_folder() {
  std::error_code error;
  fs::path exe = fs::read_symlink("/proc/self/exe", error);
  if (error || !exe.has_parent_path()) return ".";
  return exe.parent_path().string();
}

PathEnvironment PathEnvironment::from_process() {
  PathEnvironment env{environment_value("HOME"), environment_value("XDG_CONFIG_HOME"),
                      environment_value("XDG_STATE_HOME")};
  if (env.home.empty()) {
    if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir) env.home = user->pw_dir;
  }
  return env;
}

std::string data_folder_for(const std::string& program_folder) {
  const std::string installed = (fs::path(program_folder) / "../share/velmora").lexically_normal().string();
  for (const std::string& folder : {program_folder, installed}) {
    if (exists(folder + "/gui.glade")) return folder;
  }
  return program_folder;
}

std::string config_folder(const PathEnvironment& env) {
  return xdg_folder(env.xdg_config_home, env, ".config");
}

std::string state_folder(const PathEnvironment& env) {
  return xdg_folder(env.xdg_state_home, env, ".local/state");
}

ProgramFiles find_program_files(const std::string& program_folder,
                                const std::string& settings_argument,
                                const PathEnvironment& env) {
  ProgramFiles files;
  files.data_folder = data_folder_for(program_folder);
  if (!settings_argument.empty()) {
    files.settings_file = settings_argument;
  } else if (exists(program_folder + "/setup.ini")) {
    files.settings_file = program_folder + "/setup.ini";
  } else {
    files.settings_file = config_folder(env) + "/setup.ini";
  }
  const bool runs_from_its_folder = files.data_folder == program_folder;
  const bool writable = ::access(program_folder.c_str(), W_OK) == 0;
  files.log_folder = runs_from_its_folder && writable ? program_folder : state_folder(env);
  return files;
}

bool make_private_folder(const std::string& folder) {
  std::error_code error;
  if (fs::is_directory(folder, error)) return true;
  const fs::path parent = fs::path(folder).parent_path();
  if (!parent.empty() && parent != fs::path(folder) && !make_private_folder(parent.string())) {
    return false;
  }
  ::mkdir(folder.c_str(), 0700);  // umask can only take bits away from 0700
  return fs::is_directory(folder, error);
}

ProgramFiles program_files(const std::string& settings_argument) {
  const std::string folder = program_folder();
  ProgramFiles files = find_program_files(folder, settings_argument, PathEnvironment::from_process());
  if (files.log_folder != folder && !make_private_folder(files.log_folder)) {
    std::fprintf(stderr, "velmora: cannot make the folder %s; no log.txt is written\n",
                 files.log_folder.c_str());
  }
  trace("Files: settings " + files.settings_file + ", log " + files.log_folder +
        "/log.txt, data " + files.data_folder);
  return files;
}

}  // namespace velmora
